// The message catalogue's stored texts and the three message-box routines.
#include <cstring>
#include <string>

#include "tests/installer/installer_fixture.h"

using namespace qeltest;

using Catalogue = InstallerTest;

TEST_F(Catalogue, RowsInStoredOrder) {
    // The stored rows, the ISDN note, the texts of mended faults, the usage, the unused row.
    EXPECT_EQ(CATALOGUE_ROWS, 48);
    EXPECT_STREQ(catalogue[0].text[0], "Installation complete");
    EXPECT_STREQ(catalogue[12].text[1], "Information");
    EXPECT_STREQ(catalogue[13].text[2], "Erreur");
    EXPECT_STREQ(catalogue[24].text[0], "QEL for Windows%s");
    EXPECT_STREQ(catalogue[23].text[2], "Commande de la part de ");
    for (int language = 0; language < 3; ++language) {
        EXPECT_STREQ(catalogue[CATALOGUE_UNUSED].text[language], "");
        EXPECT_GT(std::strlen(catalogue[MSG_ISDN_NOTE].text[language]), 0u);
        EXPECT_NE(std::strstr(catalogue[MSG_BACKUP_FAILED].text[language], "%s"), nullptr);
        EXPECT_GT(std::strlen(catalogue[MSG_ALL_PROCESSED_NO_MENU].text[language]), 0u);
        for (CatalogueId named_field : {MSG_PATH_NOT_FULL, MSG_PATH_TOO_LONG})
            EXPECT_EQ(std::strncmp(catalogue[named_field].text[language], "%s", 2), 0);
        EXPECT_STREQ(catalogue[MSG_NO_FILES].text[language], "Sorry, no files to install!");
    }
}

// Every language formats the same arguments in the same order, so one call fills any of them.
TEST_F(Catalogue, LanguagesTakeTheSameArguments) {
    auto conversions = [](const char *text) {
        std::string out;
        for (const char *p = std::strchr(text, '%'); p; p = std::strchr(p + 2, '%')) out += p[1];
        return out;
    };
    for (int row = 0; row < CATALOGUE_ROWS; ++row)
        for (int language = 1; language < 3; ++language)
            EXPECT_EQ(conversions(catalogue[row].text[language]),
                      conversions(catalogue[row].text[0]))
                << "row " << row << " language " << language;
}

TEST_F(Catalogue, OemBytesOfAccentedLetters) {
    EXPECT_STREQ(catalogue[TEXT_FOLDER_NAME].text[1], "QEL f\x81r Windows%s");
    EXPECT_STREQ(catalogue[MSG_INSTALL_COMPLETE].text[2], "Installation termin\x82"
                                                          "e");
    EXPECT_STREQ(catalogue[STATUS_DELETING].text[1],
                 "Suchen und L\x94schen nicht mehr ben\x94tigter Dateien");
    EXPECT_STREQ(catalogue[MSG_OVERWRITE_WITH_BETA].text[2],
                 "Vous allez \x82"
                 "craser une version existante avec une version b\x88ta. Ceci est "
                 "*DECONSEILLE*.\r\rVoulez-vous VRAIMENT continuer?");
    EXPECT_STREQ(catalogue[MSG_UPGRADE_FROM_BETA].text[2],
                 "Vous allez faire une mise \x85 jour avec une version b\x88ta. Ceci est "
                 "*DECONSEILLE*.\r\rVoulez-vous VRAIMENT continuer? ");
    EXPECT_STREQ(catalogue[MSG_BACKUPS_MADE].text[1],
                 "Von allen absichtlich \x81"
                 "berschriebenen Dateien wurden Sicherheitskopien im "
                 "entsprechenden Verzeichnis angelegt");
    EXPECT_STREQ(
        catalogue[MSG_READ_DOCS].text[2],
        "Voulez-vous lire maintenant les fichiers DOC de QEL (PROBLEMS.DOC, README.DOC, etc.)?");
}

TEST_F(Catalogue, UpgradeQuestionHasAnEmptyLine) {
    EXPECT_STREQ(catalogue[MSG_UPGRADE_FROM_BETA].text[0],
                 "You are about to upgrade from a beta-version.  This is *NOT* recommended.\r\r"
                 "Do you REALLY want to proceed?");
}

#ifndef _WIN32
TEST_F(Catalogue, ErrorBeforeLanguageIsChosenHasEnglishCaption) {
    show_error(message_text(MSG_NO_FILES));
    ASSERT_EQ(headless_boxes().size(), 1u);
    EXPECT_EQ(headless_boxes()[0].owner, nullptr);
    EXPECT_EQ(headless_boxes()[0].caption, "Error");
    EXPECT_EQ(headless_boxes()[0].text, "Sorry, no files to install!");
    EXPECT_EQ(headless_boxes()[0].style, 0x24u);
}

TEST_F(Catalogue, InfoBoxOwnedByTheDialogInItsLanguage) {
    settings.language = 1;
    settings.main_dialog = headless_new_window();
    show_info(message_text(MSG_ALL_PROCESSED));
    ASSERT_EQ(headless_boxes().size(), 1u);
    EXPECT_EQ(headless_boxes()[0].owner, settings.main_dialog);
    EXPECT_EQ(headless_boxes()[0].caption, "Information");
    // Shown in the window code page: the OEM byte of the u-umlaut (0x81) became 0xFC.
    EXPECT_EQ(headless_boxes()[0].text,
              "Installation erfolgreich beendet (QEL-Eintrag wurde im Startmen\xFC erzeugt)");
    EXPECT_EQ(headless_boxes()[0].style, 0x28u);
    settings.language = 2;
    show_error("x");
    EXPECT_EQ(headless_boxes()[1].caption, "Erreur");
}

TEST_F(Catalogue, AskYesNoOnlyYesCounts) {
    headless_queue_answers({1, 2, 0, 7});
    EXPECT_EQ(ask_yes_no(nullptr, "Information", "q", 0x80), 1);
    EXPECT_EQ(ask_yes_no(nullptr, "Information", "q", 0), 0);
    EXPECT_EQ(ask_yes_no(nullptr, "Information", "q", 0), 0); // box not shown: No
    EXPECT_EQ(ask_yes_no(nullptr, "Information", "q", 0), 0);
    EXPECT_EQ(headless_boxes()[0].style, 0x91u);
    EXPECT_EQ(headless_boxes()[1].style, 0x11u);
}
#endif
