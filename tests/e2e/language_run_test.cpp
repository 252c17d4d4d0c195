// Packed installers of one configuration in several languages, run for users of different UI
// languages. Under Wine a process takes its UI language from LC_ALL when Wine starts it, and
// passes it on to the processes it starts: CTest runs this program once per language
// (tests/e2e/CMakeLists.txt), and each run checks what a user of that language sees.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <future>
#include <map>
#include <string>

#include "report/registry_report.h"
#include "resources/resource.h"
#include "tests/helpers/helper_clients.h"
#include "tests/support/installer_run.h"
#include "tests/support/registry_values.h"
#include "tests/support/temp_folder.h"

namespace zelko::test {
namespace {

constexpr char kProduct[] =
    "[INSTALL]\n"
    "ProductCode={3C9A7E21-5D4B-4F60-8A1B-2C3D4E5F6071}\n";

// Every text in English; German, Brazilian Portuguese, Arabic, Russian, Greek and Simplified
// Chinese in full; a bare German and a bare Portuguese section in part.
constexpr char kTexts[] =
    "[STRING]\n"
    "SFX_TITLE_CAPTIONBAR=Demo Setup\n"
    "SFX_DLG_TITLE=Preparing Demo\n"
    "SFX_DLG_STATUS=Please wait while the files are prepared.\n"
    "SFX_DLG_EXTRACTING=Extracting files...\n"
    "SFX_BTN_CANCEL=Cancel\n"
    "SFX_BTN_OK=Close\n"
    "SFX_BTN_YES=Yes\n"
    "SFX_BTN_NO=No\n"
    "SFX_CANCELCONFIRM=Cancel the installation?\n"
    "SFX_DLG_SELECT_EXTRACT_FILES_FOLDER=Where should the files go?\n"
    "SFX_DLG_ERR_DISK_SPACE=Free [DISK_SPACE] MB and try again.\n"
    "SFX_DLG_ERRCODE=Error code:\n"
    "[STRING.de-DE]\n"
    "SFX_TITLE_CAPTIONBAR=Demo-Installation\n"
    "SFX_DLG_TITLE=Demo wird vorbereitet\n"
    "SFX_DLG_STATUS=Bitte warten Sie, w\xC3\xA4hrend die Dateien vorbereitet werden.\n"
    "SFX_DLG_EXTRACTING=Dateien werden entpackt...\n"
    "SFX_BTN_CANCEL=Abbrechen\n"
    "SFX_BTN_OK=Schlie\xC3\x9F" "en\n"
    "SFX_BTN_YES=&Ja\n"
    "SFX_BTN_NO=&Nein\n"
    "SFX_CANCELCONFIRM=Installation abbrechen?\n"
    "SFX_DLG_SELECT_EXTRACT_FILES_FOLDER=Wohin sollen die Dateien?\n"
    "SFX_DLG_ERR_DISK_SPACE=Zu wenig Platz: [DISK_SPACE] MB freigeben.\n"
    "SFX_DLG_ERRCODE=Fehlercode:\n"
    "[STRING.de]\n"
    "SFX_TITLE_CAPTIONBAR=Demo-Einrichtung\n"
    "SFX_BTN_CANCEL=Abbruch\n"
    "SFX_BTN_YES=Jawohl\n"
    "SFX_DLG_ERRCODE=Fehler:\n"
    "[STRING.pt]\n"
    "SFX_TITLE_CAPTIONBAR=Instala\xC3\xA7\xC3\xA3o (Portugal)\n"
    "SFX_DLG_ERRCODE=C\xC3\xB3" "digo:\n"
    "[STRING.pt-BR]\n"
    "SFX_TITLE_CAPTIONBAR=Instala\xC3\xA7\xC3\xA3o da Demo\n"
    "SFX_DLG_TITLE=Preparando a Demo\n"
    "SFX_DLG_STATUS=Aguarde enquanto os arquivos s\xC3\xA3o preparados.\n"
    "SFX_DLG_EXTRACTING=Extraindo arquivos...\n"
    "SFX_BTN_CANCEL=Cancelar\n"
    "SFX_BTN_OK=Fechar\n"
    "SFX_BTN_YES=Sim\n"
    "SFX_BTN_NO=N\xC3\xA3o\n"
    "SFX_CANCELCONFIRM=Cancelar a instala\xC3\xA7\xC3\xA3o?\n"
    "SFX_DLG_SELECT_EXTRACT_FILES_FOLDER=Onde os arquivos devem ficar?\n"
    "SFX_DLG_ERR_DISK_SPACE=Espa\xC3\xA7o insuficiente: libere [DISK_SPACE] MB.\n"
    // pt-BR has its own label: the bare [STRING.pt] one is never reached.
    "SFX_DLG_ERRCODE=C\xC3\xB3" "digo de erro:\n"
    "[STRING.ar]\n"
    "SFX_TITLE_CAPTIONBAR=تثبيت العرض\n"
    "SFX_DLG_TITLE=جارٍ تحضير العرض\n"
    "SFX_DLG_STATUS=يرجى الانتظار أثناء تحضير الملفات.\n"
    "SFX_DLG_EXTRACTING=جارٍ استخراج الملفات...\n"
    "SFX_BTN_CANCEL=إلغاء\n"
    "SFX_BTN_OK=إغلاق\n"
    "SFX_BTN_YES=نعم\n"
    "SFX_BTN_NO=لا\n"
    "SFX_CANCELCONFIRM=هل تريد إلغاء التثبيت؟\n"
    "SFX_DLG_SELECT_EXTRACT_FILES_FOLDER=أين يجب وضع الملفات؟\n"
    "SFX_DLG_ERR_DISK_SPACE=مساحة القرص غير كافية: حرر [DISK_SPACE] ميغابايت.\n"
    "SFX_DLG_ERRCODE=رمز الخطأ:\n"
    "[STRING.ru]\n"
    "SFX_TITLE_CAPTIONBAR=Установка демо\n"
    "SFX_DLG_TITLE=Подготовка демо\n"
    "SFX_DLG_STATUS=Подождите, пока файлы будут подготовлены.\n"
    "SFX_DLG_EXTRACTING=Распаковка файлов...\n"
    "SFX_BTN_CANCEL=Отмена\n"
    "SFX_BTN_OK=Закрыть\n"
    "SFX_BTN_YES=Да\n"
    "SFX_BTN_NO=Нет\n"
    "SFX_CANCELCONFIRM=Отменить установку?\n"
    "SFX_DLG_SELECT_EXTRACT_FILES_FOLDER=Куда поместить файлы?\n"
    "SFX_DLG_ERR_DISK_SPACE=Недостаточно места: освободите [DISK_SPACE] МБ.\n"
    "SFX_DLG_ERRCODE=Код ошибки:\n"
    "[STRING.el]\n"
    "SFX_TITLE_CAPTIONBAR=Εγκατάσταση επίδειξης\n"
    "SFX_DLG_TITLE=Προετοιμασία επίδειξης\n"
    "SFX_DLG_STATUS=Περιμένετε όσο προετοιμάζονται τα αρχεία.\n"
    "SFX_DLG_EXTRACTING=Αποσυμπίεση αρχείων...\n"
    "SFX_BTN_CANCEL=Άκυρο\n"
    "SFX_BTN_OK=Κλείσιμο\n"
    "SFX_BTN_YES=Ναι\n"
    "SFX_BTN_NO=Όχι\n"
    "SFX_CANCELCONFIRM=Ακύρωση της εγκατάστασης;\n"
    "SFX_DLG_SELECT_EXTRACT_FILES_FOLDER=Πού να μπουν τα αρχεία;\n"
    "SFX_DLG_ERR_DISK_SPACE=Λίγος χώρος: ελευθερώστε [DISK_SPACE] MB.\n"
    "SFX_DLG_ERRCODE=Κωδικός σφάλματος:\n"
    "[STRING.zh-Hans]\n"
    "SFX_TITLE_CAPTIONBAR=演示安装\n"
    "SFX_DLG_TITLE=正在准备演示\n"
    "SFX_DLG_STATUS=请稍候，正在准备文件。\n"
    "SFX_DLG_EXTRACTING=正在解压文件...\n"
    "SFX_BTN_CANCEL=取消\n"
    "SFX_BTN_OK=关闭\n"
    "SFX_BTN_YES=是\n"
    "SFX_BTN_NO=否\n"
    "SFX_CANCELCONFIRM=要取消安装吗？\n"
    "SFX_DLG_SELECT_EXTRACT_FILES_FOLDER=文件应放在哪里？\n"
    "SFX_DLG_ERR_DISK_SPACE=磁盘空间不足：请释放 [DISK_SPACE] MB。\n"
    "SFX_DLG_ERRCODE=错误代码：\n";

// What a user of one UI language sees, as UTF-8. The disk-space text has [DISK_SPACE] in it.
struct Seen {
  const wchar_t* language;
  const char* title;
  const char* heading;
  const char* status;
  const char* extracting;
  const char* cancel;
  const char* question;
  const char* yes;
  const char* no;
  const char* ok;
  const char* prompt;
  const char* diskSpace;
  const char* label;
  bool rightToLeft;
};

const Seen kEnglish = {L"", "Demo Setup", "Preparing Demo",
                       "Please wait while the files are prepared.", "Extracting files...",
                       "Cancel", "Cancel the installation?", "Yes", "No", "Close",
                       "Where should the files go?", "Free [DISK_SPACE] MB and try again.",
                       "Error code:", false};

const Seen kSeen[] = {
    {L"de-DE", "Demo-Installation", "Demo wird vorbereitet",
     "Bitte warten Sie, w\xC3\xA4hrend die Dateien vorbereitet werden.",
     "Dateien werden entpackt...", "Abbrechen", "Installation abbrechen?", "&Ja", "&Nein",
     "Schlie\xC3\x9F" "en", "Wohin sollen die Dateien?", "Zu wenig Platz: [DISK_SPACE] MB freigeben.",
     "Fehlercode:", false},
    // Partly translated: what [STRING.de] lacks comes from [STRING].
    {L"de-AT", "Demo-Einrichtung", kEnglish.heading, kEnglish.status, kEnglish.extracting,
     "Abbruch", kEnglish.question, "Jawohl", kEnglish.no, kEnglish.ok, kEnglish.prompt,
     kEnglish.diskSpace, "Fehler:", false},
    {L"pt-BR", "Instala\xC3\xA7\xC3\xA3o da Demo", "Preparando a Demo",
     "Aguarde enquanto os arquivos s\xC3\xA3o preparados.", "Extraindo arquivos...", "Cancelar",
     "Cancelar a instala\xC3\xA7\xC3\xA3o?", "Sim", "N\xC3\xA3o", "Fechar",
     "Onde os arquivos devem ficar?", "Espa\xC3\xA7o insuficiente: libere [DISK_SPACE] MB.",
     "C\xC3\xB3" "digo de erro:", false},
    {L"ar-SA", "تثبيت العرض", "جارٍ تحضير العرض", "يرجى الانتظار أثناء تحضير الملفات.",
     "جارٍ استخراج الملفات...", "إلغاء", "هل تريد إلغاء التثبيت؟", "نعم", "لا", "إغلاق",
     "أين يجب وضع الملفات؟", "مساحة القرص غير كافية: حرر [DISK_SPACE] ميغابايت.", "رمز الخطأ:",
     true},
    {L"ru-RU", "Установка демо", "Подготовка демо", "Подождите, пока файлы будут подготовлены.",
     "Распаковка файлов...", "Отмена", "Отменить установку?", "Да", "Нет", "Закрыть",
     "Куда поместить файлы?", "Недостаточно места: освободите [DISK_SPACE] МБ.", "Код ошибки:",
     false},
    {L"el-GR", "Εγκατάσταση επίδειξης", "Προετοιμασία επίδειξης",
     "Περιμένετε όσο προετοιμάζονται τα αρχεία.", "Αποσυμπίεση αρχείων...", "Άκυρο",
     "Ακύρωση της εγκατάστασης;", "Ναι", "Όχι", "Κλείσιμο", "Πού να μπουν τα αρχεία;",
     "Λίγος χώρος: ελευθερώστε [DISK_SPACE] MB.", "Κωδικός σφάλματος:", false},
    // The system's parent of zh-CN is zh-Hans.
    {L"zh-CN", "演示安装", "正在准备演示", "请稍候，正在准备文件。", "正在解压文件...", "取消",
     "要取消安装吗？", "是", "否", "关闭", "文件应放在哪里？", "磁盘空间不足：请释放 [DISK_SPACE] MB。",
     "错误代码：", false},
    // A language the configuration has no texts for.
    {L"fr-FR", kEnglish.title, kEnglish.heading, kEnglish.status, kEnglish.extracting,
     kEnglish.cancel, kEnglish.question, kEnglish.yes, kEnglish.no, kEnglish.ok, kEnglish.prompt,
     kEnglish.diskSpace, kEnglish.label, false},
};

constexpr wchar_t kDialogClass[] = L"#32770";
constexpr int kMessageTextId = 0xFFFF;  // the static that holds a message box's text

std::wstring Wide(const std::string& utf8) {
  std::wstring wide(utf8.size(), L'\0');
  wide.resize(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                    wide.data(), static_cast<int>(wide.size())));
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  std::string bytes(wide.size() * 4, '\0');
  bytes.resize(::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                     bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                     nullptr));
  return bytes;
}

// This process's UI language, which the installers it starts take over.
std::wstring ProcessUiLanguage() {
  ULONG count = 0;
  ULONG size = 0;
  if (!::GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &size)) return L"";
  std::wstring list(size, L'\0');
  if (!::GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, list.data(), &size)) return L"";
  return list.c_str();
}

std::wstring ShellFolder(int id) {
  wchar_t path[MAX_PATH];
  ::SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

bool HasText(const std::map<std::string, std::string>& texts, const std::string& text) {
  for (const auto& [id, shown] : texts) {
    if (shown == text) return true;
  }
  return false;
}

class LanguageRunTest : public InstallerRunTest {
 protected:
  void SetUp() override {
    InstallerRunTest::SetUp();
    const std::wstring language = ProcessUiLanguage();
    for (const Seen& seen : kSeen) {
      if (language == seen.language) seen_ = &seen;
    }
    ASSERT_NE(seen_, nullptr) << "no expectations for UI language " << Utf8(language)
                              << " (LC_ALL of this CTest entry)";
  }
  void TearDown() override {
    for (const auto& blocker : blockers_) ::DeleteFileW(blocker.c_str());
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zelko");
  }

  // The box of an error at the end of the run or of a question, owned by `owner` (or none),
  // once its buttons carry the configured captions.
  std::map<std::string, std::string> BoxTexts(HWND box, int button, const char* caption) {
    std::map<std::string, std::string> texts;
    EXPECT_TRUE(WaitUntil([&] {
      texts = driver_.Texts(box);
      return texts[std::to_string(button)] == caption;
    })) << "button " << button << " shows " << texts[std::to_string(button)];
    return texts;
  }

  const Seen* seen_ = nullptr;
  const std::wstring picked_ = work_ / L"picked";
  WindowDriver driver_;
  const std::wstring blockers_[2] = {ShellFolder(CSIDL_COMMON_APPDATA) + L"\\Zelko",
                                     ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\Zelko"};
};

// The run is held in the folder browser (neither application-data folder can be made), with
// the progress dialog behind it: its title and texts, the browser's prompt, and the cancel
// question with its captions, all in the user's language; mirrored for Arabic. (Wine shows a
// box that is to read right to left as any other: message_box_test.cpp checks what the box
// is asked to be.)
TEST_F(LanguageRunTest, DialogBrowserAndCancelQuestionShowTheUsersLanguage) {
  for (const auto& blocker : blockers_) {
    RemoveTree(blocker);
    ASSERT_TRUE(WriteFileBytes(blocker, "in the way"));
  }
  ASSERT_TRUE(::CreateDirectoryW(picked_.c_str(), nullptr));
  BuildInstaller(work_.path(), {std::string(kProduct) + kTexts, FixtureFolder() + L"setup_payload.7z"},
                 installer_);
  auto run = std::async(std::launch::async, [this] { return Run(L"/sfx_ne"); });

  const std::wstring title = Wide(seen_->title);
  HWND dialog = driver_.Find(title, kDialogClass);
  ASSERT_NE(dialog, nullptr) << "no progress dialog titled " << seen_->title;
  HWND browser = driver_.FindOwned(dialog, kDialogClass);
  ASSERT_NE(browser, nullptr) << "no folder browser";
  EXPECT_TRUE(HasText(driver_.Texts(browser), seen_->prompt));

  auto texts = driver_.Texts(dialog);
  EXPECT_EQ(texts["title"], seen_->title);
  EXPECT_EQ(texts[std::to_string(IDC_HEADING)], seen_->heading);
  EXPECT_EQ(texts[std::to_string(IDC_STATUS)], seen_->status);
  EXPECT_EQ(texts[std::to_string(IDC_EXTRACTING)], seen_->extracting);
  EXPECT_EQ(texts[std::to_string(IDCANCEL)], seen_->cancel);
  const auto styles = driver_.WindowStyles(dialog);
  ASSERT_EQ(styles.count("window"), 1u);
  EXPECT_EQ((styles.at("window").exStyle & WS_EX_LAYOUTRTL) != 0, seen_->rightToLeft);
  if (seen_->rightToLeft) {
    EXPECT_TRUE(driver_.Capture(dialog, ArtifactFolder() + L"progress_dialog_rtl.bmp"));
  }

  ASSERT_TRUE(driver_.Press(dialog, IDCANCEL));
  HWND question = driver_.Find(title, kDialogClass, dialog);
  ASSERT_NE(question, nullptr) << "no cancel question";
  texts = BoxTexts(question, IDYES, seen_->yes);
  EXPECT_EQ(texts[std::to_string(IDNO)], seen_->no);
  EXPECT_EQ(texts[std::to_string(kMessageTextId)], seen_->question);
  ASSERT_TRUE(driver_.Press(question, IDYES));
  ASSERT_TRUE(driver_.WaitHidden(dialog));
  // A folder the run can use: it goes on, finds the run cancelled and extracts nothing.
  ASSERT_TRUE(driver_.SelectFolder(browser, picked_));
  ASSERT_TRUE(driver_.Press(browser, IDOK));

  EXPECT_EQ(run.get().exitCode, 1602u);
  std::string language = Utf8(seen_->language);
  EXPECT_TRUE(Logged("UI language: " + language));
}

// An error at the end of the run: its box, its button and the composed message with its
// error-code label, and the same message losslessly in the registry for the caller.
TEST_F(LanguageRunTest, ErrorBoxAndRegistryTextShowTheUsersLanguage) {
  // The archive's own megabyte counts too: 2000000 MB are asked for.
  BuildInstaller(work_.path(),
                 {std::string(kProduct) + "InstallerFolderSizeInMB=1999999\n" + kTexts,
                  FixtureFolder() + L"setup_payload.7z"},
                 installer_);
  auto run = std::async(std::launch::async, [this] { return Run(L"/re"); });

  HWND box = driver_.Find(Wide(seen_->title), kDialogClass);
  ASSERT_NE(box, nullptr) << "no error box titled " << seen_->title;
  const auto texts = BoxTexts(box, IDOK, seen_->ok);
  std::string message = seen_->diskSpace;
  message.replace(message.find("[DISK_SPACE]"), 12, "2000000");
  // The window driver reads the text line by line: the sentence, an empty line, the label.
  EXPECT_EQ(texts.at(std::to_string(kMessageTextId)), message);
  const std::string labelLine = std::string(seen_->label) + "  150110";
  EXPECT_EQ(texts.count(labelLine), 1u) << "no line " << labelLine;
  ASSERT_TRUE(driver_.Press(box, IDOK));

  EXPECT_EQ(run.get().exitCode, 150110u);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kSetupRegistryKey, L"ErrorText"),
            Wide(message + "\n\n" + labelLine));
}

// A configuration with [STRING] alone: every user sees its texts, left to right, whatever
// their language.
TEST_F(LanguageRunTest, OnlyStringSectionIsShownToEveryUser) {
  const std::string ini = std::string(kProduct) + "InstallerFolderSizeInMB=1999999\n" +
                          std::string(kTexts).substr(0, std::string(kTexts).find("[STRING."));
  BuildInstaller(work_.path(), {ini, FixtureFolder() + L"setup_payload.7z"}, installer_);
  auto run = std::async(std::launch::async, [this] { return Run(L""); });

  HWND box = driver_.Find(Wide(kEnglish.title), kDialogClass);
  ASSERT_NE(box, nullptr) << "no error box";
  const auto texts = BoxTexts(box, IDOK, kEnglish.ok);
  EXPECT_EQ(texts.at(std::to_string(kMessageTextId)), "Free 2000000 MB and try again.");
  EXPECT_EQ(texts.count("Error code:  150110"), 1u);
  ASSERT_TRUE(driver_.Press(box, IDOK));
  EXPECT_EQ(run.get().exitCode, 150110u);
}

}  // namespace
}  // namespace zelko::test
