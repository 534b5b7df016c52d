#pragma once

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tellumic {

// Message-box style codes: buttons + icon + default button, added together (48 + 4 = 52
// is Yes/No with the exclamation icon).
namespace MsgStyle {
inline constexpr int kOkOnly = 0;
inline constexpr int kOkCancel = 1;
inline constexpr int kAbortRetryIgnore = 2;
inline constexpr int kYesNoCancel = 3;
inline constexpr int kYesNo = 4;
inline constexpr int kRetryCancel = 5;
inline constexpr int kCritical = 16;
inline constexpr int kQuestion = 32;
inline constexpr int kExclamation = 48;
inline constexpr int kInformation = 64;
inline constexpr int kDefaultButton2 = 256;
inline constexpr int kDefaultButton3 = 512;

inline constexpr int buttons(int style) { return style & 0x7; }
inline constexpr int icon(int style) { return style & 0x70; }
inline constexpr int defaultButtonIndex(int style) { return (style & 0x300) >> 8; }
}  // namespace MsgStyle

// The button a message box was closed with.
enum class MsgResult : int { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

// The buttons a style offers, in the order they stand in the box.
std::vector<MsgResult> buttonsOf(int style);
// The button Enter presses for a style.
MsgResult defaultButtonOf(int style);

// Every question and notice the plug-in puts to the user goes through this service: Qt
// message boxes in the product, scripted answers in tests.
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    virtual MsgResult messageBox(std::string_view text, int style, std::string_view caption) = 0;

    // Asks for a file to save to; "" when the user cancelled.
    virtual std::string saveFileName(std::string_view caption, std::string_view startPath,
                                     std::string_view filter) = 0;
    // Asks for an existing file to open; "" when the user cancelled. Where nobody can be
    // asked, nothing is chosen.
    virtual std::string openFileName(std::string_view, std::string_view, std::string_view) { return {}; }

    // True while a message box or file dialog waits for the user. Watchdogs pause meanwhile.
    bool isAsking() const { return m_asking > 0; }

protected:
    // Implementations hold one of these while the user is being asked.
    class AskingScope
    {
    public:
        explicit AskingScope(Dialogs &d) : m_d(d) { ++m_d.m_asking; }
        ~AskingScope() { --m_d.m_asking; }
        AskingScope(const AskingScope &) = delete;
        AskingScope &operator=(const AskingScope &) = delete;

    private:
        Dialogs &m_d;
    };

private:
    int m_asking = 0;
};

// Answers from a script, recording every box shown. With no answer queued, a box is
// answered with its default button, as if the user pressed Enter.
class ScriptedDialogs final : public Dialogs
{
public:
    struct Shown
    {
        std::string text;
        int style = 0;
        std::string caption;
    };

    MsgResult messageBox(std::string_view text, int style, std::string_view caption) override;
    std::string saveFileName(std::string_view caption, std::string_view startPath,
                             std::string_view filter) override;
    // Answered from the same queue of file names as saveFileName, shown as "(open file)".
    std::string openFileName(std::string_view caption, std::string_view startPath, std::string_view filter) override;

    void queueAnswer(MsgResult answer) { m_answers.push_back(answer); }
    void queueFileName(std::string name) { m_fileNames.push_back(std::move(name)); }

    const std::vector<Shown> &shown() const { return m_shown; }
    void clearShown() { m_shown.clear(); }
    std::size_t pendingAnswers() const { return m_answers.size(); }

private:
    std::string nextFileName(std::string_view shownAs, std::string_view caption);

    std::deque<MsgResult> m_answers;
    std::deque<std::string> m_fileNames;
    std::vector<Shown> m_shown;
};

// For a process with nobody to answer: every box is answered with its default button and its
// text kept, each text once in the order they first came, with how often it came (a download
// of a damaged log shows one box per record).
class CountingDialogs final : public Dialogs
{
public:
    // normalise, when given, turns a text into the form that is kept and compared.
    explicit CountingDialogs(std::function<std::string(std::string_view)> normalise = {});

    MsgResult messageBox(std::string_view text, int style, std::string_view caption) override;
    std::string saveFileName(std::string_view, std::string_view, std::string_view) override { return {}; }

    const std::vector<std::pair<std::string, std::size_t>> &texts() const { return m_texts; }
    // The text of the last box shown.
    const std::string &last() const { return m_last; }
    bool empty() const { return m_texts.empty(); }
    void clear();

private:
    std::function<std::string(std::string_view)> m_normalise;
    std::vector<std::pair<std::string, std::size_t>> m_texts;
    std::string m_last;
};

// The process's dialogs service. Until one is installed, boxes are answered with their
// default button and nothing is shown (a process without a user interface).
Dialogs &dialogs();
void setDialogs(Dialogs *service);  // nullptr restores the silent default

// Installs a dialogs service for its lifetime and puts back the one before.
class DialogsScope
{
public:
    explicit DialogsScope(Dialogs &service) : m_previous(&dialogs()) { setDialogs(&service); }
    ~DialogsScope() { setDialogs(m_previous); }
    DialogsScope(const DialogsScope &) = delete;
    DialogsScope &operator=(const DialogsScope &) = delete;

private:
    Dialogs *m_previous;
};

// A message box through the process's dialogs service.
MsgResult MsgBox(std::string_view text, int style = MsgStyle::kOkOnly, std::string_view caption = {});

}  // namespace tellumic
