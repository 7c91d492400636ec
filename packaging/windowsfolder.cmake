# Quiralto for Windows as one folder that runs as it is, wherever it is
# copied: `cmake --install <build> --prefix <folder>` puts the program, the
# DLLs it needs (Qt's, FluidSynth's and the MinGW runtime), Qt's platform
# and style plugins, the SoundFont and the 45 scale files in it. The scale
# files lie beside the program, in the folder it starts in.

install(TARGETS quiralto RUNTIME DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
              $<TARGET_FILE:FluidSynth::libfluidsynth>
        DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)

# The C++ runtime the compiler links every DLL of the folder against.
foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                    OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${runtime_path}" OR NOT EXISTS "${runtime_path}")
        message(FATAL_ERROR "The compiler does not know where ${runtime} is")
    endif()
    install(FILES ${runtime_path} DESTINATION .)
endforeach()

install(FILES ${QUIRALTO_SOUNDFONT} DESTINATION . RENAME quiralto.sf2)
install(DIRECTORY ${QUIRALTO_SCALES_DIR}/ DESTINATION . FILES_MATCHING PATTERN "*.MID")
