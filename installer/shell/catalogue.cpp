// The message catalogue: every text shown outside the dialog templates, in three languages.
// Texts are stored in the OEM code page (437/850): \204 is a-umlaut, \202 e-acute, and so on.
#include <string>

#include "installer/shell/shell.h"
#include "platform/win_api.h"

namespace {
// The options themselves read the same in every language.
#define QEL_USAGE_OPTIONS                                                                          \
    "SETUP [/SILENT] [/DIR=folder] [/EXISTING=folder] [/LOGDIR=folder] [/OPTIONSDIR=folder]\r"     \
    "[/SCRIPTDIR=folder] [/UPLOADDIR=folder] [/DOWNLOADDIR=folder]\r"                              \
    "[/COPY=phonebook,options,scripts] [/OVERWRITE] [/LOG=file]\r"                                 \
    "SETUP /UNINSTALL [/SILENT] [/LOG=file]"
constexpr const char NO_FILES_TEXT[] = "Sorry, no files to install!";
constexpr const char INFORMATION_TEXT[] = "Information";
} // namespace

const CatalogueRow catalogue[CATALOGUE_ROWS] = {
    /* MSG_INSTALL_COMPLETE */ {
        {"Installation complete", "Installation abgeschlossen", "Installation termin\202e"}},
    /* MSG_INSTALL_ABORTED */
    {{"Installation aborted - QEL wasn't installed successfully!",
      "Installation abgebrochen - QEL konnte nicht vollst\204ndig installiert werden!",
      "Installation abandonn\202e - l'installation de QEL n'a pas r\202ussi!"}},
    /* MSG_INSTALL_ERROR */
    {{"An error occurred during install - installation aborted!",
      "W\204hrend der Installation ist ein Fehler aufgetreten - die Installation wird abgebrochen!",
      "Une erreur s'est produite lors de l'installation - installation abandonn\202e!"}},
    /* MSG_NO_FILES */ {{NO_FILES_TEXT, NO_FILES_TEXT, NO_FILES_TEXT}},
    /* MSG_NEEDS_NT4 */
    {{"Sorry, this program requires Windows NT 4.00 or higher - installation aborted!",
      "Dieses Programm ben\224tigt mindestens Windows NT 4.00 - Installation wird abgebrochen!",
      "D\202sol\202, ce programme exige Windows NT 4.00 ou une version ult\202rieure - "
      "installation abandonn\202e!"}},
    /* MSG_ALL_PROCESSED */
    {{"All files processed - installation complete (QEL was added to your start menu)",
      "Installation erfolgreich beendet (QEL-Eintrag wurde im Startmen\201 erzeugt)",
      "Tous les fichiers ont \202t\202 trait\202s - installation termin\202e (QEL a \202t\202 "
      "ajout\202 au menu d\202marrage)"}},
    /* MSG_DEST_EMPTY */
    {{"Destination path is empty", "Der Ziel-Pfad ist leer", "Le chemin destination est vide"}},
    /* MSG_LOG_EMPTY */
    {{"Logfile path is empty", "Der Logdatei-Pfad ist leer",
      "Le chemin de fichier journal est vide"}},
    /* MSG_OPTIONS_EMPTY */
    {{"Option path is empty", "Der Optionen-Pfad ist leer", "Le chemin d'options est vide"}},
    /* MSG_SCRIPT_EMPTY */
    {{"Script path is empty", "Der Script-Pfad ist leer", "Le chemin de script est vide"}},
    /* MSG_UPLOAD_EMPTY */
    {{"Upload path is empty", "Der Upload-Pfad ist leer",
      "Le chemin d'envoi de fichiers est vide"}},
    /* MSG_DOWNLOAD_EMPTY */
    {{"Download path is empty", "Der Download-Pfad ist leer",
      "Le chemin de r\202ception de fichiers est vide"}},
    /* CAPTION_INFO */ {{INFORMATION_TEXT, INFORMATION_TEXT, INFORMATION_TEXT}},
    /* CAPTION_ERROR */ {{"Error", "Fehler", "Erreur"}},
    /* MSG_UPGRADE_FROM_BETA */
    {{"You are about to upgrade from a beta-version.  This is *NOT* recommended.\r\rDo you REALLY "
      "want to proceed?",
      "Es ist *NICHT* empfehlenswert, Daten aus einer bestehenden Beta-Version zu "
      "\201bernehmen.\r\rWollen Sie WIRKLICH fortfahren?",
      "Vous allez faire une mise \205 jour avec une version b\210ta. Ceci est "
      "*DECONSEILLE*.\r\rVoulez-vous VRAIMENT continuer? "}},
    /* MSG_OVERWRITE_WITH_BETA */
    {{"You are about to overwrite an existing version with a beta.  This is *NOT* "
      "recommended.\r\rDo you REALLY want to proceed?",
      "Es ist *NICHT* empfehlenswert, eine Beta-Version \201ber eine bestehende Version zu "
      "installieren.\r\rWollen Sie WIRKLICH fortfahren?",
      "Vous allez \202craser une version existante avec une version b\210ta. Ceci est "
      "*DECONSEILLE*.\r\rVoulez-vous VRAIMENT continuer?"}},
    /* MSG_OVERWRITE_FILE */
    {{"Overwrite %s with QEL's installation defaults?",
      "Datei %s mit Standardeinstellungen \201berschreiben?",
      "Ecraser %s avec les param\212tres d'installation par d\202faut de QEL?"}},
    /* MSG_OVERWRITE_OPTIONS */
    {{"Overwrite existing option files with QEL's installation defaults (all QEL settings will be "
      "lost)?",
      "Bestehende Options-Dateien mit Standardeinstellungen \201berschreiben (alle bisherigen "
      "QEL-Einstellungen werden gel\224scht)?",
      "Ecraser les fichiers d'options existants avec les options d'installation par d\202faut de "
      "QEL?"}},
    /* MSG_BACKUPS_MADE */
    {{"All intentionally overwritten files were backed up in the same directory!",
      "Von allen absichtlich \201berschriebenen Dateien wurden Sicherheitskopien im entsprechenden "
      "Verzeichnis angelegt",
      "Tous les fichiers \202cras\202s intentionnellement ont \202t\202 sauvegard\202s dans le "
      "m\210me r\202pertoire!"}},
    /* MSG_READ_DOCS */
    {{"Do you want to read QEL's DOC-files (PROBLEMS.DOC, README.DOC, etc.) now?",
      "Informationsdateien (PROBLEMS.DOC, README.DOC, etc.) jetzt anzeigen?",
      "Voulez-vous lire maintenant les fichiers DOC de QEL (PROBLEMS.DOC, README.DOC, etc.)?"}},
    /* STATUS_DELETING */
    {{"Searching and deleting old files", "Suchen und L\224schen nicht mehr ben\224tigter Dateien",
      "Recherche et suppression des anciens fichiers"}},
    /* STATUS_UPDATING_PATHS */
    {{"Updating path information", "Aktualisieren der Pfadinformationen",
      "Mise \205 jour des informations de chemin"}},
    /* STATUS_CREATING_FOLDER */
    {{"Creating QEL folder", "QEL-Ordner wird erstellt", "Cr\202ation du dossier QEL"}},
    /* TEXT_ORDER_FROM */ {{"Order from ", "Bestellen bei ", "Commande de la part de "}},
    /* TEXT_FOLDER_NAME */ {{"QEL for Windows%s", "QEL f\201r Windows%s", "QEL sous Windows%s"}},
    /* MSG_ISDN_NOTE */
    {{"Note for ISDN users: QELfax, our fax and file transfer software for ISDN, "
      "works together with QEL.  Visit http://www.qel-software.com for details.",
      "Hinweis f\201r ISDN-Anwender: QELfax, unsere Fax- und Datei\201bertragungs-"
      "Software f\201r ISDN, arbeitet mit QEL zusammen.  Mehr dazu unter "
      "http://www.qel-software.com",
      "ISDN note - translation to follow (http://www.qel-software.com)"}},
    /* MSG_BACKUP_FAILED */
    {{"Could not back up %s - the file was not overwritten.",
      "Von %s konnte keine Sicherheitskopie angelegt werden - die Datei wurde nicht "
      "\201berschrieben.",
      "Impossible de sauvegarder %s - le fichier n'a pas \202t\202 \202cras\202."}},
    /* MSG_ALL_PROCESSED_NO_MENU */
    {{"All files processed - installation complete (QEL could not be added to your start menu)",
      "Installation erfolgreich beendet (QEL-Eintrag konnte im Startmen\201 nicht erzeugt "
      "werden)",
      "Tous les fichiers ont \202t\202 trait\202s - installation termin\202e (QEL n'a pas pu "
      "\210tre ajout\202 au menu d\202marrage)"}},
    /* MSG_PATH_NOT_FULL */
    {{"%s: please enter a full path with a drive letter, such as C:\\QEL",
      "%s: Bitte geben Sie einen vollst\204ndigen Pfad mit Laufwerksbuchstaben an, z.B. C:\\QEL",
      "%s : veuillez indiquer un chemin complet avec la lettre du lecteur, par exemple C:\\QEL"}},
    /* MSG_PATH_TOO_LONG */
    {{"%s: this path is too long for Windows - please choose a shorter one",
      "%s: Dieser Pfad ist f\201r Windows zu lang - bitte w\204hlen Sie einen k\201rzeren",
      "%s : ce chemin est trop long pour Windows - veuillez en choisir un plus court"}},
    /* MSG_ARCHIVE_UNREADABLE */
    {{"The archive %s could not be read (error %d).",
      "Das Archiv %s konnte nicht gelesen werden (Fehler %d).",
      "L'archive %s n'a pas pu \210tre lue (erreur %d)."}},
    /* MSG_MEMBER_UNSAFE */
    {{"The member \"%s\" leads outside the chosen folders and was refused.",
      "Der Archiveintrag \"%s\" f\201hrt aus den gew\204hlten Verzeichnissen hinaus und wurde "
      "abgelehnt.",
      "L'\202l\202ment \"%s\" sort des r\202pertoires choisis et a \202t\202 refus\202."}},
    /* MSG_FOLDER_NOT_MADE */
    {{"The member \"%s\" could not be installed: the folder %s could not be created.",
      "Der Archiveintrag \"%s\" konnte nicht installiert werden: das Verzeichnis %s konnte nicht "
      "angelegt werden.",
      "L'\202l\202ment \"%s\" n'a pas pu \210tre install\202: impossible de cr\202er le "
      "r\202pertoire %s."}},
    /* MSG_MEMBER_FAILED */
    {{"The member \"%s\" could not be unpacked into %s: %s (error %d).",
      "Der Archiveintrag \"%s\" konnte nicht nach %s entpackt werden: %s (Fehler %d).",
      "L'\202l\202ment \"%s\" n'a pas pu \210tre extrait dans %s: %s (erreur %d)."}},
    /* MSG_MEMBER_NOT_FOUND */
    {{"The member \"%s\" was not found in the archive and was not installed.",
      "Der Archiveintrag \"%s\" wurde im Archiv nicht gefunden und nicht installiert.",
      "L'\202l\202ment \"%s\" est introuvable dans l'archive et n'a pas \202t\202 install\202."}},
    /* CAUSE_SKIPPED */
    {{"it is encrypted or packed in an unknown way",
      "er ist verschl\201sselt oder auf unbekannte Weise gepackt",
      "il est chiffr\202 ou compress\202 d'une mani\212re inconnue"}},
    /* CAUSE_NO_MEMORY */ {{"not enough memory", "zu wenig Speicher", "m\202moire insuffisante"}},
    /* CAUSE_NOT_WRITABLE */
    {{"the file could not be written (disk full or file in use)",
      "die Datei konnte nicht geschrieben werden (Datentr\204ger voll oder Datei in Benutzung)",
      "le fichier n'a pas pu \210tre \202crit (disque plein ou fichier utilis\202)"}},
    /* CAUSE_DAMAGED */
    {{"the archive is damaged", "das Archiv ist besch\204digt", "l'archive est endommag\202e"}},
    /* MSG_USAGE */
    {{"Usage:\r\r" QEL_USAGE_OPTIONS, "Aufruf:\r\r" QEL_USAGE_OPTIONS,
      "Utilisation:\r\r" QEL_USAGE_OPTIONS}},
    /* MSG_INSTALL_UNDONE */
    {{"Everything this installation had changed has been put back as it was.",
      "Alle \216nderungen dieser Installation wurden r\201ckg\204ngig gemacht.",
      "Toutes les modifications de cette installation ont \202t\202 annul\202es."}},
    /* MSG_UNINSTALL_CONFIRM */
    {{"Remove QEL from %s, with its start-menu folder and its registration?\r\rFiles you "
      "changed or added yourself are kept.",
      "QEL aus %s mit seinem Startmen\201-Ordner und seiner Anmeldung entfernen?\r\rDateien, "
      "die Sie ge\204ndert oder selbst angelegt haben, bleiben erhalten.",
      "Supprimer QEL de %s, avec son dossier du menu d\202marrage et son inscription?\r\rLes "
      "fichiers que vous avez modifi\202s ou ajout\202s vous-m\210me sont conserv\202s."}},
    /* MSG_UNINSTALL_DONE */
    {{"QEL has been removed.", "QEL wurde entfernt.", "QEL a \202t\202 supprim\202."}},
    /* MSG_FOLDERS_KEPT */
    {{"These folders were kept because they are not empty:",
      "Diese Ordner wurden behalten, weil sie nicht leer sind:",
      "Ces dossiers ont \202t\202 conserv\202s car ils ne sont pas vides:"}},
    /* MSG_NO_INSTALL_RECORD */
    {{"No installation of QEL was found in %s - nothing was removed.",
      "In %s wurde keine Installation von QEL gefunden - nichts wurde entfernt.",
      "Aucune installation de QEL n'a \202t\202 trouv\202e dans %s - rien n'a \202t\202 "
      "supprim\202."}},
    /* MSG_SETUP_LEFT */
    {{"%s is still running and will be removed when Windows restarts.",
      "%s l\204uft noch und wird beim n\204chsten Neustart von Windows entfernt.",
      "%s est encore en cours d'ex\202cution et sera supprim\202 au prochain d\202marrage de "
      "Windows."}},
    /* MSG_UNDO_INCOMPLETE */
    {{"Some of what this installation had changed could not be put back.",
      "Einige \216nderungen dieser Installation konnten nicht r\201ckg\204ngig gemacht werden.",
      "Certaines modifications de cette installation n'ont pas pu \210tre annul\202es."}},
    /* CATALOGUE_UNUSED */ {{"", "", ""}},
};
#undef QEL_USAGE_OPTIONS

namespace {

// Every catalogue text in the window code page, converted once on first use.
struct DisplayCatalogue {
    std::string text[CATALOGUE_ROWS][3];
};

const DisplayCatalogue &display_catalogue() {
    static const DisplayCatalogue shown = [] {
        DisplayCatalogue out;
        for (int row = 0; row < CATALOGUE_ROWS; ++row)
            for (int language = 0; language < 3; ++language) {
                std::string &text = out.text[row][language];
                text = catalogue[row].text[language];
                // The conversion maps byte for byte, so the text keeps its length.
                if (!text.empty()) OemToCharA(catalogue[row].text[language], text.data());
            }
        return out;
    }();
    return shown;
}

} // namespace

const char *message_text(CatalogueId id) {
    int language = settings.language >= 0 && settings.language <= 2 ? settings.language : 0;
    return display_catalogue().text[id][language].c_str();
}

// Every box is logged; under /SILENT none is shown, and a question takes its default answer (No,
// which keeps the user's files) or, with /OVERWRITE, Yes.
void show_info(const char *text) {
    log_line(std::string("Information: ") + text);
    if (shell_state.command.silent) return;
    os_MessageBox(settings.main_dialog, message_text(CAPTION_INFO), text, MB_STYLE_INFO);
}

void show_error(const char *text) {
    log_line(std::string("Error: ") + text);
    if (shell_state.command.silent) return;
    os_MessageBox(settings.main_dialog, message_text(CAPTION_ERROR), text, MB_STYLE_ERROR);
}

int ask_yes_no(OsWindow owner, const char *caption, const char *text, uint32_t extra_style) {
    int yes =
        shell_state.command.silent
            ? shell_state.command.overwrite
            : os_MessageBox(owner, caption, text, extra_style | MB_STYLE_YES_NO) == MB_ANSWER_YES;
    log_line(std::string("Question: ") + text + (yes ? " - Yes" : " - No"));
    return yes ? 1 : 0;
}
