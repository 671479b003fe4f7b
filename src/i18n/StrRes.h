#pragma once
// Message lookup: the texts of the IDS_ messages in the current language, and the message box
// built from them.
#include <QString>

#include <string_view>

namespace zadari {

/// The text of an IDS_ key in the current language ("" when the language file lacks it).
/// Keys match without regard to case. Safe to call from any thread.
QString GetStrRes(std::string_view key);

/// Empties the message cache (on a change of language).
void ClearStrResCache();

/// Message-box style words (the values of the Windows MessageBox flags the callers name) and
/// the identifiers of the pressed button.
namespace MsgStyle {
inline constexpr int kOk = 0x00;
inline constexpr int kOkCancel = 0x01;
inline constexpr int kAbortRetryIgnore = 0x02;
inline constexpr int kYesNoCancel = 0x03;
inline constexpr int kYesNo = 0x04;
inline constexpr int kRetryCancel = 0x05;
inline constexpr int kButtonsMask = 0x0F;
inline constexpr int kIconError = 0x10;
inline constexpr int kIconQuestion = 0x20;
inline constexpr int kIconWarning = 0x30;
inline constexpr int kIconInformation = 0x40;
inline constexpr int kIconMask = 0xF0;
} // namespace MsgStyle

namespace MsgResult {
inline constexpr int kNone = 0; ///< no box could be shown
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kAbort = 3;
inline constexpr int kRetry = 4;
inline constexpr int kIgnore = 5;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;
} // namespace MsgResult

/// Shows a modal message box and returns the MsgResult of the pressed button. The program
/// installs one that uses real dialogs; tests install one that records and answers.
class TMessagePresenter {
public:
    virtual ~TMessagePresenter() = default;
    virtual int ShowMessage(const QString& caption, const QString& text, int style) = 0;
};

/// Installs a presenter (not owned; nullptr for none) and returns the one before it.
TMessagePresenter* SetMessagePresenter(TMessagePresenter* presenter);
TMessagePresenter* MessagePresenter();

/// Installs a presenter for the life of this object, then puts the previous one back.
class TScopedMessagePresenter {
public:
    explicit TScopedMessagePresenter(TMessagePresenter* presenter)
        : m_previous(SetMessagePresenter(presenter)) {}
    ~TScopedMessagePresenter() { SetMessagePresenter(m_previous); }
    TScopedMessagePresenter(const TScopedMessagePresenter&) = delete;
    TScopedMessagePresenter& operator=(const TScopedMessagePresenter&) = delete;

private:
    TMessagePresenter* m_previous;
};

/// A modal box whose caption is GetStrRes(captionKey) and whose text is GetStrRes(textKey)
/// (the caption is looked up first). Returns the pressed button's MsgResult, or
/// MsgResult::kNone when no presenter is installed.
int StrResMessageBox(std::string_view textKey, std::string_view captionKey, int style);

} // namespace zadari
