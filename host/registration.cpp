#include "host/registration.h"

#include <QApplication>
#include <QCoreApplication>
#include <QProcess>

#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "foundation/dialogs.h"
#include "foundation/file_io.h"
#include "foundation/paths.h"
#include "foundation/plugin_state.h"
#include "foundation/progress_window.h"
#include "foundation/registry.h"
#include "foundation/text.h"
#include "foundation/trace_log.h"
#include "host/device_templates.h"
#include "host/object_names.h"
#include "host/plugin_api.h"

namespace tellumic {

namespace {

std::string plugInKey()
{
    return std::string(kPlugInsKey) + kPlugInName;
}

// Runs this executable with one switch and waits for it; false when it could not run or failed.
bool runSelf(const char *argument)
{
    const QString self = QCoreApplication::applicationFilePath();
    if (self.isEmpty())
        return false;
    return QProcess::execute(self, {QString::fromLatin1(argument)}) == 0;
}

std::string quoted(const std::string &text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

// The activation file as it is now; nothing when there is none.
std::optional<std::string> activationFileText()
{
    std::ifstream in(activationFilePath(), std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Puts the activation file back as it was before a registration that failed: the bus must
// not start a plug-in that is not registered.
void restoreActivationFile(const std::optional<std::string> &before)
{
    if (!before) {
        removeActivationFile();
        return;
    }
    try {
        replaceFile(activationFilePath(), *before);
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MMain.RegisterRegistrationCommand(), the activation file could not be put back: " + e.description());
    }
}

}  // namespace

bool installActivationFile(const std::filesystem::path &executable)
{
    const auto path = activationFilePath();
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    const std::string text = "[D-BUS Service]\nName=" + std::string(kProgId) + "\nExec=/usr/bin/env " +
                             quoted("TELLUMIC_HOME=" + tellumicHome().string()) + " " +
                             quoted(std::filesystem::absolute(executable).string()) + " -Embedding\n";
    try {
        replaceFile(path, text);
    } catch (const RuntimeError &) {
        return false;
    }
    return true;
}

bool removeActivationFile()
{
    std::error_code ec;
    std::filesystem::remove(activationFilePath(), ec);
    return !ec;
}

std::int16_t ConstRange(std::int16_t lower, std::int16_t upper, std::int16_t &value)
{
    if (value < lower || value > upper)
        value = 1;
    return value;
}

std::string RegisterRegistrationCommand(bool showMessages, bool runServerRegistration)
{
    DebugLog("MMain.RegisterRegistrationCommand()");
    CRegistry registry;
    const std::string key = plugInKey();
    std::string existing;
    const bool registered = registry.GetRegValue(kHkeyLocalMachine, key, "", existing) && !existing.empty();
    if (registered) {
        std::int16_t oldMajor = 0, oldMinor = 0, newMajor = 0, newMinor = 0;
        GetVersionNumber(registry.MachineSetting(key, "Version"), oldMajor, oldMinor);
        GetVersionNumber(kPlugInVersion, newMajor, newMinor);
        if (oldMajor > newMajor || (oldMajor == newMajor && oldMinor > newMinor)) {
            if (showMessages)
                MsgBox("A newer version of this plug-in is already registered", MsgStyle::kInformation, kPlugInName);
            return {};
        }
    }
    const auto activationBefore = activationFileText();
    if (runServerRegistration && !runSelf("/regserver")) {
        if (showMessages)
            MsgBox(std::string("Plug-in ") + kProgId + "registration as COM server failed", MsgStyle::kCritical, "");
        return "the D-Bus activation file could not be installed";
    }
    std::int16_t flag = -1;
    const std::string minusOne = std::to_string(ConstRange(-1, 1, flag));
    const std::pair<const char *, std::string> values[] = {
        {"", kProgId},
        {"Name", kPlugInName},
        {"Description", "Tellumic LNS Plug-in"},
        {"Scope", "2"},
        {"ManufacturerName", kManufacturerName},
        {"Version", kPlugInVersion},
        {"LcaVersion", kLcaVersion},
        {"Prelaunch", minusOne},
        {"MultiObject", minusOne},
        {"SingleInstance", minusOne},
    };
    bool written = true;
    for (const auto &[name, value] : values)
        written = registry.MachineSetting(key, name, value) && written;
    if (!written) {
        const std::string why = "the registry could not be written" +
                                (registry.storeFailure().empty() ? std::string() : ": " + registry.storeFailure());
        DebugLog("ERROR: MMain.RegisterRegistrationCommand(), " + why);
        if (runServerRegistration)
            restoreActivationFile(activationBefore);
        if (showMessages)
            MsgBox("Plug-in " + std::string(kProgId) + " was not registered: " + why, MsgStyle::kCritical, kPlugInName);
        return why;
    }
    if (showMessages)
        MsgBox(std::string(registered ? "Updated version of plug-in registered as " : "Plug-in registered as ") + kProgId,
               MsgStyle::kInformation, kPlugInName);
    return {};
}

std::string DeregisterRegistrationCommand(bool showMessages)
{
    DebugLog("MMain.DeregisterRegistrationCommand()");
    if (!runSelf("/unregserver")) {
        if (showMessages)
            MsgBox(std::string("Plug-in ") + kProgId +
                       " deregistration as COM server failed\rVerify that there are not instances running\r"
                       "The activation file could not be removed.",
                   MsgStyle::kCritical, "");
        return "the D-Bus activation file could not be removed";
    }
    // Deleting fails when there is no such key, or when the registry cannot be written.
    CRegistry registry;
    const bool deleted = registry.DeleteMachineKey(plugInKey());
    if (!registry.storeFailure().empty()) {
        const std::string why = "the registry could not be written: " + registry.storeFailure();
        DebugLog("ERROR: MMain.DeregisterRegistrationCommand(), " + why);
        if (showMessages)
            MsgBox("Plug-in " + std::string(kPlugInName) + " was not deregistered: " + why, MsgStyle::kCritical, kPlugInName);
        return why;
    }
    if (showMessages)
        MsgBox(std::string("Plug-in ") + kPlugInName + (deleted ? " deregistered" : " does not exisit in the Windows registery"),
               MsgStyle::kInformation, kPlugInName);
    return {};
}

}  // namespace tellumic
