// The application object as a run leaves it before the user interface starts: a fresh set
// of flags and a configuration file of the test's choosing.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/sfx_app.h"
#include "app/sfx_config.h"
#include "tests/helpers/helper_clients.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_bytes.h"
#include "ui/message_box.h"

namespace zelko::test {

// A configuration with every text of the user interface, in Spanish.
constexpr wchar_t kSpanishStrings[] =
    L"[INSTALL]\r\nProductCode={6F1D3C52-2B0B-4C1E-9F3A-1B2C3D4E5F60}\r\n"
    L"[STRING]\r\n"
    L"SFX_TITLE_CAPTIONBAR=Instalación de Demo\r\n"
    L"SFX_DLG_TITLE=Preparando la instalación\r\n"
    L"SFX_DLG_STATUS=Espere mientras se preparan los archivos de Demo.\r\n"
    L"SFX_DLG_EXTRACTING=Extrayendo archivos...\r\n"
    L"SFX_BTN_CANCEL=Cancelar\r\n"
    L"SFX_CANCELCONFIRM=¿Desea cancelar la instalación?\r\n"
    L"SFX_DLG_ERR_FAILCREATMAINDLG=No se pudo crear la ventana de progreso.\r\n"
    L"SFX_BTN_OK=&Aceptar\r\n"
    L"SFX_BTN_YES=&Sí\r\n"
    L"SFX_BTN_NO=&No\r\n";

constexpr char kSpanishTitle[] = "Instalación de Demo";

class UiTest : public testing::Test {
 protected:
  void SetUp() override { UseConfiguration(kSpanishStrings); }

  // Makes `text` the run's configuration and resets the run's flags.
  void UseConfiguration(const std::wstring& text) {
    ASSERT_TRUE(WriteFileBytes(config_, Utf16LeWithBom(text)));
    CZelkoSelfExtractorApp& app = theApp;
    app.configPath_ = config_;
    app.bFinished_ = app.bPaused_ = app.bCancelled_ = FALSE;
    app.bKiv_ = app.bSilent_ = FALSE;
    app.error_ = SFXError(SfxConfig::GetText);
    app.dialog_ = nullptr;
    app.uiThreadCount_ = 0;
    app.uiThread_ = nullptr;
    app.waitEvent_ = nullptr;
    SetButtonCaption(kOkButtonId, nullptr);
    SetButtonCaption(kYesButtonId, nullptr);
    SetButtonCaption(kNoButtonId, nullptr);
    app.uiLanguage_ = UiLanguage();
    SetMessageBoxRightToLeft(false);
  }

  // As the run does right after extracting the configuration.
  void SetCaptions(const wchar_t* ok, const wchar_t* yes, const wchar_t* no) {
    SetButtonCaption(kOkButtonId, ok);
    SetButtonCaption(kNoButtonId, no);
    SetButtonCaption(kYesButtonId, yes);
  }

  TempFolder folder_;
  const std::wstring config_ = folder_ / L"config.bin";
  WindowDriver driver_;
};

}  // namespace zelko::test
