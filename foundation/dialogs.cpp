#include "foundation/dialogs.h"

#include <algorithm>

namespace tellumic {

std::vector<MsgResult> buttonsOf(int style)
{
    using R = MsgResult;
    switch (MsgStyle::buttons(style)) {
    case MsgStyle::kOkCancel:
        return {R::Ok, R::Cancel};
    case MsgStyle::kAbortRetryIgnore:
        return {R::Abort, R::Retry, R::Ignore};
    case MsgStyle::kYesNoCancel:
        return {R::Yes, R::No, R::Cancel};
    case MsgStyle::kYesNo:
        return {R::Yes, R::No};
    case MsgStyle::kRetryCancel:
        return {R::Retry, R::Cancel};
    default:
        return {R::Ok};
    }
}

MsgResult defaultButtonOf(int style)
{
    const auto buttons = buttonsOf(style);
    const auto index = static_cast<std::size_t>(MsgStyle::defaultButtonIndex(style));
    return index < buttons.size() ? buttons[index] : buttons.front();
}

MsgResult ScriptedDialogs::messageBox(std::string_view text, int style, std::string_view caption)
{
    AskingScope asking(*this);
    m_shown.push_back(Shown{std::string(text), style, std::string(caption)});
    if (m_answers.empty())
        return defaultButtonOf(style);
    const MsgResult answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

CountingDialogs::CountingDialogs(std::function<std::string(std::string_view)> normalise)
    : m_normalise(std::move(normalise))
{
}

MsgResult CountingDialogs::messageBox(std::string_view text, int style, std::string_view)
{
    std::string kept = m_normalise ? m_normalise(text) : std::string(text);
    const auto it = std::find_if(m_texts.begin(), m_texts.end(), [&](const auto &t) { return t.first == kept; });
    if (it == m_texts.end())
        m_texts.emplace_back(kept, 1);
    else
        ++it->second;
    m_last = std::move(kept);
    return defaultButtonOf(style);
}

void CountingDialogs::clear()
{
    m_texts.clear();
    m_last.clear();
}

std::string ScriptedDialogs::saveFileName(std::string_view caption, std::string_view, std::string_view)
{
    return nextFileName("(save file)", caption);
}

std::string ScriptedDialogs::openFileName(std::string_view caption, std::string_view, std::string_view)
{
    return nextFileName("(open file)", caption);
}

std::string ScriptedDialogs::nextFileName(std::string_view shownAs, std::string_view caption)
{
    AskingScope asking(*this);
    m_shown.push_back(Shown{std::string(shownAs), 0, std::string(caption)});
    if (m_fileNames.empty())
        return {};
    std::string name = std::move(m_fileNames.front());
    m_fileNames.pop_front();
    return name;
}

namespace {

class SilentDialogs final : public Dialogs
{
public:
    MsgResult messageBox(std::string_view, int style, std::string_view) override { return defaultButtonOf(style); }
    std::string saveFileName(std::string_view, std::string_view, std::string_view) override { return {}; }
};

SilentDialogs g_silent;
Dialogs *g_dialogs = &g_silent;

}  // namespace

Dialogs &dialogs()
{
    return *g_dialogs;
}

void setDialogs(Dialogs *service)
{
    g_dialogs = service ? service : &g_silent;
}

MsgResult MsgBox(std::string_view text, int style, std::string_view caption)
{
    return dialogs().messageBox(text, style, caption);
}

}  // namespace tellumic
