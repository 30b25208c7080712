// The message strings: exact code page 1252 bytes, looked up by number.
#include <gtest/gtest.h>

#include "engine/MessageStrings.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

struct Expected {
    int id;
    const char* text;
};

// Written out independently of the table, accents as bytes: E9 is e acute,
// E0 is a grave.
const Expected kExpected[] = {
    {101, "&A propos de la mise \xE0 jour..."},
    {102, "S\xE9lectionnez une mise \xE0 jour \xE0 installer, puis cliquez sur Mettre \xE0 jour"},
    {103, "Mettre \xE0 jour"},
    {104, "Annuler"},
    {105, "Mise \xE0 jour..."},
    {106, "Etat :"},
    {107, "Extraction du fichier :"},
    {108, "Test :"},
    {109, "Fermer"},
    {110, "Impossible de trouver un fichier n\xE9" "cessaire \xE0 la mise \xE0 jour :"},
    {111, "Mise \xE0 jour termin\xE9" "e. Cliquez sur Fermer."},
    {112, "L'application que vous essayez de mettre \xE0 jour n'est pas install\xE9" "e. "
          "Installez l'application et essayez \xE0 nouveau."},
    {113, "Continuez?"},
    {114, "Le fichier de mise \xE0 jour est endommag\xE9 ou illisible. Aucun fichier n'a \xE9t\xE9 modifi\xE9."},
    {115, "Impossible d'\xE9" "crire le fichier :"},
    {116, "Impossible de d\xE9marrer la mise \xE0 jour. Aucun fichier n'a \xE9t\xE9 modifi\xE9."},
    {117, "La mise \xE0 jour a \xE9" "chou\xE9. Aucun fichier n'a \xE9t\xE9 modifi\xE9."},
    {118, "Une mise \xE0 jour interrompue a \xE9t\xE9 annul\xE9" "e : les fichiers du produit sont revenus \xE0 leur "
          "\xE9tat pr\xE9" "c\xE9" "dent."},
    {119, "Une mise \xE0 jour interrompue n'a pas pu \xEAtre annul\xE9" "e enti\xE8rement. Fermez les programmes du "
          "produit puis relancez Dravlek."},
    {120, "Une autre mise \xE0 jour est en cours. Relancez Dravlek quand elle sera termin\xE9" "e."},
    {122, "Ce fichier de mise \xE0 jour n'est pas sign\xE9 par l'\xE9" "diteur du produit. Aucun fichier n'a \xE9t\xE9 "
          "modifi\xE9."},
    {123, "V\xE9rification de la signature du fichier de mise \xE0 jour..."},
    {124, "Suppression du fichier :"},
};

TEST(MessageStringsTest, EveryTextIsExactlyAsWritten) {
    for (const Expected& expected : kExpected) {
        EXPECT_EQ(LoadMessageString(expected.id), expected.text) << expected.id;
        EXPECT_EQ(BuiltInMessageString(expected.id), expected.text) << expected.id;
    }
}

TEST(MessageStringsTest, LengthsAndCharactersOfTheTexts) {
    EXPECT_EQ(LoadMessageString(IDS_NOT_INSTALLED).size(), 114u) << "looked up whole";
    EXPECT_EQ(LoadMessageString(IDS_UNDO_INCOMPLETE).size(), 120u) << "the longest, looked up whole";
    for (int id : {IDS_STATUS_LABEL, IDS_TESTING, IDS_CLOSE_BUTTON}) EXPECT_EQ(LoadMessageString(id).size(), 6u);
    for (int id = 101; id <= 120; ++id) {
        std::string text = LoadMessageString(id);
        ASSERT_FALSE(text.empty()) << id;
        EXPECT_NE(text.front(), ' ') << id;
        EXPECT_NE(text.back(), ' ') << id;
        for (unsigned char c : text) {
            EXPECT_TRUE((c >= 0x20 && c < 0x7F) || c == 0xE9 || c == 0xE0 || c == 0xE8 || c == 0xEA)
                << id << " has byte " << int(c);
        }
    }
    // Texts that name other texts stay in step with them.
    EXPECT_NE(LoadMessageString(IDS_SELECT_PROMPT).find(LoadMessageString(IDS_UPDATE_BUTTON)), std::string::npos);
    EXPECT_NE(LoadMessageString(IDS_UPDATE_COMPLETE).find(LoadMessageString(IDS_CLOSE_BUTTON)), std::string::npos);
}

TEST(MessageStringsTest, AMissingNumberGivesTheEmptyText) {
    for (int id : {0, 100, 999, 61440, -1}) {
        EXPECT_EQ(LoadMessageString(id), "") << id;
        EXPECT_EQ(BuiltInMessageString(id), "") << id;
    }
}

#ifdef _WIN32
// The string table resource linked into the program and the portable table
// come from one source; under Windows both lookups must agree byte for byte.
TEST(MessageStringsTest, TheResourceTableAgreesWithThePortableTable) {
    ASSERT_EQ(GetACP(), 1252u) << "the tests expect the Western European ANSI code page";
    for (int id = 0; id <= 200; ++id) EXPECT_EQ(LoadMessageString(id), BuiltInMessageString(id)) << id;
    char small[8];
    EXPECT_EQ(LoadStringA(GetModuleHandleA(nullptr), IDS_NOT_INSTALLED, small, sizeof small), 7)
        << "the raw resource is really there";
}
#endif

}  // namespace
