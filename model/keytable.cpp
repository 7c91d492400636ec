#include "model/keytable.h"

#include "model/latin1.h"

namespace quiralto::model {

const NoteNameTable &noteNameTable()
{
    static const NoteNameTable names = [] {
        const char *utf8[NoteCount] = {
            "Fá b", "Dó b", "Sol b", "Ré b", "Lá b", "Mi b", "Si b", "Fá",
            "Dó",   "Sol",  "Ré",    "Lá",   "Mi",   "Si",   "Fá #", "Dó #",
            "Sol #", "Ré #", "Lá #", "Mi #", "Si #", "Fá ##", "Dó ##", "Sol ##",
        };
        NoteNameTable table;
        for (int i = 0; i < NoteCount; ++i)
            table[i] = latin1(utf8[i]);
        return table;
    }();
    return names;
}

const std::array<KeyTableRow, KeyCount> &KeyTable()
{
    static const std::array<KeyTableRow, KeyCount> keys = [] {
        struct Source { const char *listText; int tonicIndex; const char *fileStem; };
        const Source source[KeyCount] = {
            {"Lá Menor - Nenhuma Alteração", 11, "La"},
            {"Mi Menor - 1 Sustenido", 12, "Mi"},
            {"Si Menor - 2 Sustenidos", 13, "Si"},
            {"Fá # Menor - 3 Sustenidos", 14, "Fa Sus"},
            {"Dó # Menor - 4 Sustenidos", 15, "Do Sus"},
            {"Sol # Menor - 5 Sustenidos", 16, "Sol Sus"},
            {"Ré # Menor - 6 Sustenidos", 17, "Re Sus"},
            {"Lá # Menor - 7 Sustenidos", 18, "La Sus"},
            {"Ré Menor - 1 Bemol", 10, "Re"},
            {"Sol Menor - 2 Bemóis", 9, "Sol"},
            {"Dó Menor - 3 Bemóis", 8, "Do"},
            {"Fá Menor - 4 Bemóis", 7, "Fa"},
            {"Si b Menor - 5 Bemóis", 6, "Si Bem"},
            {"Mi b Menor - 6 Bemóis", 5, "Mi Bem"},
            {"Lá b Menor - 7 Bemóis", 4, "La Bem"},
        };
        std::array<KeyTableRow, KeyCount> table;
        for (int i = 0; i < KeyCount; ++i)
            table[i] = {latin1(source[i].listText), source[i].tonicIndex, source[i].fileStem};
        return table;
    }();
    return keys;
}

std::string scaleFileName(int tonicIndex, ScaleForm form)
{
    for (const KeyTableRow &key : KeyTable()) {
        if (key.tonicIndex != tonicIndex)
            continue;
        switch (form) {
        case ScaleForm::Natural: return key.fileStem + " Prim.MID";
        case ScaleForm::Harmonic: return key.fileStem + " Harm.MID";
        case ScaleForm::Melodic: return key.fileStem + " Mel.MID";
        }
    }
    return {};
}

} // namespace quiralto::model
