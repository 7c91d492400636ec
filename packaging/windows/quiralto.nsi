; The Windows installer: one file a teacher runs without an administrator.
;
; Per user by default, into %LOCALAPPDATA%\Programs\Quiralto, with a
; Start-menu shortcut and an entry in the user's own "Apps & features";
; /AllUsers, run as an administrator, installs for everyone into Program
; Files instead. /S installs and uninstalls without a window.
;
; make-installer stages the program's folder and generates what this script
; includes from it, then runs makensis with:
;   /DVERSION=1.0      the Debian package's version
;   /DSTAGE=<folder>   the staged folder: the program, its DLLs, the piano,
;                      the scale files and the licences
;   /DGENERATED=<folder> files.nsh, unfiles.nsh and size.nsh made from it
;   /DICON=<file>      the program's icon, for the installer and uninstaller
;   /DOUTFILE=<file>   the installer to write

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true
; File times are stored as the staged files carry them, which make-installer
; sets to the commit's time, so two builds of one commit store the same.
SetDateSave on

!define PRODUCT Quiralto
!define PROGRAM quiralto.exe
!define UNINSTALLER "Desinstalar Quiralto.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"

; The shortcut's comment is the desktop entry's, so that both menus say the same.
!searchparse /file "${__FILEDIR__}\..\org.example.Quiralto.desktop.in" "Comment[pt_BR]=" SHORTCUT_COMMENT

Name "${PRODUCT}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"

; As much as the user has: a teacher without administrator rights is never
; asked for a password, and an administrator's /AllUsers can write to
; Program Files. Per user all the same unless /AllUsers says otherwise.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_INSTALLMODE_DEFAULT_CURRENTUSER
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INIT_TEXT_ALLUSERSNOTPOSSIBLE "$(AllUsersNeedsAdministrator)"
!include MultiUser.nsh
!include MUI2.nsh
!include x64.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\${PROGRAM}"

!insertmacro MUI_PAGE_WELCOME
; Free licences: they are read, not agreed to.
!define MUI_PAGE_HEADER_TEXT "$(LicencesTitle)"
!define MUI_PAGE_HEADER_SUBTEXT "$(LicencesSubtitle)"
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "$(LicencesNeedNoConsent)"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\licencas\LICENCAS.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The installer speaks the language of the user's Windows when it is one of
; these, and the first otherwise.
!insertmacro MUI_LANGUAGE "PortugueseBR"
!insertmacro MUI_LANGUAGE "Portuguese"

LangString AllUsersNeedsAdministrator ${LANG_PORTUGUESEBR} \
    "Só um administrador pode instalar o ${PRODUCT} para todos os usuários deste computador."
LangString AllUsersNeedsAdministrator ${LANG_PORTUGUESE} \
    "Só um administrador pode instalar o ${PRODUCT} para todos os utilizadores deste computador."
LangString LicencesTitle ${LANG_PORTUGUESEBR} "Licenças"
LangString LicencesTitle ${LANG_PORTUGUESE} "Licenças"
LangString LicencesSubtitle ${LANG_PORTUGUESEBR} "O ${PRODUCT} é software livre, e o que vem com ele também."
LangString LicencesSubtitle ${LANG_PORTUGUESE} "O ${PRODUCT} é software livre, e o que vem com ele também."
LangString LicencesNeedNoConsent ${LANG_PORTUGUESEBR} \
    "Estas licenças dizem o que você pode fazer com o ${PRODUCT} e com o que vem com ele; não é preciso aceitá-las para usá-lo. Elas ficam na pasta licencas."
LangString LicencesNeedNoConsent ${LANG_PORTUGUESE} \
    "Estas licenças dizem o que pode fazer com o ${PRODUCT} e com o que vem com ele; não é preciso aceitá-las para o usar. Ficam na pasta licencas."
LangString Needs64Bits ${LANG_PORTUGUESEBR} "O ${PRODUCT} precisa do Windows de 64 bits."
LangString Needs64Bits ${LANG_PORTUGUESE} "O ${PRODUCT} precisa do Windows de 64 bits."

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} ProductName "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} ProductVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} FileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} FileDescription "Instalação do ${PRODUCT}"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} CompanyName "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_PORTUGUESEBR} LegalCopyright "GPL-3.0-or-later"

!include "${GENERATED}\size.nsh"

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_OK|MB_ICONSTOP "$(Needs64Bits)" /SD IDOK
        Abort
    ${EndIf}
    SetRegView 64
    !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
    SetRegView 64
    !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section
    !include "${GENERATED}\files.nsh"
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"

    ; The program reads its scales from the folder it starts in, which is
    ; the shortcut's working folder, the one current here.
    SetOutPath "$INSTDIR"
    CreateShortCut "${SHORTCUT}" "$INSTDIR\${PROGRAM}" "" "$INSTDIR\${PROGRAM}" 0 SW_SHOWNORMAL "" \
        "${SHORTCUT_COMMENT}"

    WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayName "${PRODUCT}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayIcon "$INSTDIR\${PROGRAM},0"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" Publisher "${PRODUCT}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" Contact "quiralto@example.org"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
    ; The uninstaller must look where this install went: the current
    ; user's or the whole machine's.
    WriteRegStr SHCTX "${UNINSTALL_KEY}" UninstallString \
        '"$INSTDIR\${UNINSTALLER}" /$MultiUser.InstallMode'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" QuietUninstallString \
        '"$INSTDIR\${UNINSTALLER}" /$MultiUser.InstallMode /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" EstimatedSize ${INSTALLED_KB}
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" NoModify 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" NoRepair 1
SectionEnd

; Removes what the section installed, file by file, and each folder only
; once it is empty: whatever else someone put there stays.
Section Uninstall
    Delete "${SHORTCUT}"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
    !include "${GENERATED}\unfiles.nsh"
    Delete "$INSTDIR\${UNINSTALLER}"
    RMDir "$INSTDIR"
    ; The user's own programs folder comes with the first program installed
    ; there; left empty, it goes with the last.
    GetFullPathName $0 "$INSTDIR\.."
    ${If} $0 == "$LOCALAPPDATA\Programs"
        RMDir $0
    ${EndIf}
SectionEnd
