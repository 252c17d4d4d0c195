// The [STRING] section of the configuration: every key the installer reads there, named once.
// The installer's code asks for its texts by these names, and the packer warns of any other
// key, which the installer would never show (a misspelt caption leaves a button blank).
#pragma once

namespace zelko {

constexpr wchar_t kStringSection[] = L"STRING";
// A section of texts in one language: this prefix and a locale name ("STRING.de-DE",
// "STRING.de", "STRING.zh-Hans"). It holds the same keys as [STRING]; a text it lacks is looked
// up further on (app/ui_language.h).
constexpr wchar_t kLanguageSectionPrefix[] = L"STRING.";

// The title of a box where the configuration gives none: the end-of-run box when
// SFX_TITLE_CAPTIONBAR is empty, and the plain boxes shown before the configuration exists.
constexpr wchar_t kDefaultSetupTitle[] = L"Setup";

constexpr wchar_t kSfxTitleCaptionBar[] = L"SFX_TITLE_CAPTIONBAR";
constexpr wchar_t kSfxBtnOk[] = L"SFX_BTN_OK";
constexpr wchar_t kSfxBtnYes[] = L"SFX_BTN_YES";
constexpr wchar_t kSfxBtnNo[] = L"SFX_BTN_NO";
constexpr wchar_t kSfxBtnCancel[] = L"SFX_BTN_CANCEL";
constexpr wchar_t kSfxDlgTitle[] = L"SFX_DLG_TITLE";
constexpr wchar_t kSfxDlgStatus[] = L"SFX_DLG_STATUS";
constexpr wchar_t kSfxDlgExtracting[] = L"SFX_DLG_EXTRACTING";
constexpr wchar_t kSfxCancelConfirm[] = L"SFX_CANCELCONFIRM";
constexpr wchar_t kSfxDlgErrFailCreatMainDlg[] = L"SFX_DLG_ERR_FAILCREATMAINDLG";
constexpr wchar_t kSfxDlgSelectExtractFilesFolder[] = L"SFX_DLG_SELECT_EXTRACT_FILES_FOLDER";
constexpr wchar_t kSfxDlgErrRetryBrowseForFolder[] = L"SFX_DLG_ERR_RETRY_BROWSE_FOR_FOLDER";
constexpr wchar_t kSfxUnsupportedOs[] = L"SFX_UNSUPPORTED_OS";
constexpr wchar_t kSfxDlgErrDiskSpace[] = L"SFX_DLG_ERR_DISK_SPACE";
constexpr wchar_t kSfxDlgErrAlreadyInstalled[] = L"SFX_DLG_ERR_ALREADYINSTALLED";
constexpr wchar_t kSfxDlgErrAlreadyRunning[] = L"SFX_DLG_ERR_ALREADYRUNNING";
constexpr wchar_t kSfxDlgErrStatus[] = L"SFX_DLG_ERR_STATUS";
constexpr wchar_t kSfxDlgErrCode[] = L"SFX_DLG_ERRCODE";

constexpr const wchar_t* kStringKeys[] = {
    kSfxTitleCaptionBar, kSfxBtnOk, kSfxBtnYes, kSfxBtnNo, kSfxBtnCancel, kSfxDlgTitle,
    kSfxDlgStatus, kSfxDlgExtracting, kSfxCancelConfirm, kSfxDlgErrFailCreatMainDlg,
    kSfxDlgSelectExtractFilesFolder, kSfxDlgErrRetryBrowseForFolder, kSfxUnsupportedOs,
    kSfxDlgErrDiskSpace, kSfxDlgErrAlreadyInstalled, kSfxDlgErrAlreadyRunning, kSfxDlgErrStatus,
    kSfxDlgErrCode,
};

}  // namespace zelko
