// A program without the dialog's template: the start fails with its message box and a log line
// that says why, and no thread is left counted. (The run then ends with 1603, by the rule of
// tests/app/run_result_test.cpp.)
#include <gtest/gtest.h>

#include <future>

#include "tests/support/temp_folder.h"
#include "tests/ui/ui_fixture.h"
#include "ui/progress_dialog.h"

namespace zelko::test {
namespace {

using DialogFailureTest = UiTest;

TEST_F(DialogFailureTest, MissingDialogShowsTheFailureBoxAndLeavesNoThreadCounted) {
  SetCaptions(L"&Aceptar", L"&Sí", L"&No");
  LogCapture log;
  auto started = std::async(std::launch::async, [] { return theApp.InitDialog(); });
  HWND box = driver_.Find(L"Instalación de Demo", L"#32770");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(::GetWindow(box, GW_OWNER), nullptr);
  ASSERT_TRUE(WaitUntil([&] {
    const auto texts = driver_.Texts(box);
    return texts.count("1") ? texts.at("1") == "&Aceptar" : texts.at("2") == "&Aceptar";
  }));
  EXPECT_EQ(driver_.Texts(box)["65535"], "No se pudo crear la ventana de progreso.");
  ASSERT_TRUE(driver_.Close(box));
  EXPECT_FALSE(started.get());
  // The log names the cause, not only the step it stopped at.
  EXPECT_NE(log.Text().find("Failed to create the progress dialog: its thread ended without the "
                            "dialog"),
            std::string::npos)
      << log.Text();
  // The thread ended with its failed dialog: the cleanup has nothing to wait for.
  EXPECT_EQ(theApp.uiThreadCount_, 0);
  theApp.Cleanup();
}

}  // namespace
}  // namespace zelko::test
