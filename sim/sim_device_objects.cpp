// The device side of the simulated object server: application devices, their interface,
// NVs, functional blocks, CPs, and file transfer.

#include <cmath>

#include "foundation/text.h"
#include "sim/sim_objects.h"

namespace tellumic::sim {

namespace {

using lns::Collection;

const InterfaceDef &interfaceOf(const DeviceRow &device)
{
    static const InterfaceDef none;
    return device.model ? device.model->interfaceDef() : none;
}

RuntimeError invalidValue(std::string_view text, const std::string &what)
{
    return RuntimeError(lns::LcaError::kInvalidValue, "LCA: '" + std::string(text) + "' is not a valid value for " + what);
}

class SimCp final : public lns::Cp
{
public:
    SimCp(CorePtr core, std::int64_t deviceId, std::string key, CpDef cp)
        : m_core(std::move(core)), m_deviceId(deviceId), m_key(std::move(key)), m_cp(std::move(cp))
    {
    }
    std::string Name() override { return m_cp.name; }
    std::int32_t ResourceScope() override { return m_cp.scope; }
    std::int32_t TypeIndex() override { return m_cp.index; }
    std::string Value() override { return formatValue(type(), m_core->readValue(m_deviceId, m_key), type().name); }
    void SetValue(std::string_view value) override
    {
        Bytes bytes;
        if (!parseValue(type(), value, type().name, bytes))
            throw invalidValue(value, m_cp.name);
        m_core->writeValue(m_deviceId, m_key, bytes);
    }
    std::int32_t ValueAsLong() override
    {
        const auto v = parseDouble(Value());
        if (!v || std::fabs(*v) > 2147483647.0)
            throw RuntimeError(lns::LcaError::kInvalidValue, "LCA: " + m_cp.name + " is not a whole number");
        return static_cast<std::int32_t>(std::llround(*v));
    }
    void SetValueAsLong(std::int32_t value) override { SetValue(std::to_string(value)); }

private:
    const ValueType &type() { return *m_core->slot(m_core->device(m_deviceId), m_key).type; }

    CorePtr m_core;
    std::int64_t m_deviceId;
    std::string m_key;
    CpDef m_cp;
};

Collection<lns::Cp> cpCollection(const CorePtr &core, std::int64_t deviceId, const std::vector<CpDef> &cps,
                                 const std::function<std::string(const CpDef &)> &keyOf)
{
    std::vector<std::shared_ptr<lns::Cp>> items;
    for (const auto &cp : cps)
        items.push_back(std::make_shared<SimCp>(core, deviceId, keyOf(cp), cp));
    return Collection<lns::Cp>(std::move(items));
}

class SimNv final : public lns::Nv
{
public:
    SimNv(CorePtr core, std::int64_t deviceId, std::string name)
        : m_core(std::move(core)), m_deviceId(deviceId), m_name(std::move(name)), m_key(nvKey(m_name))
    {
    }
    std::string Name() override { return m_name; }
    std::string Value() override
    {
        const std::string format = FormatSpec();
        return m_core->nvText(m_deviceId, m_name, m_core->readValue(m_deviceId, m_key), format);
    }
    void SetValue(std::string_view value) override
    {
        m_core->writeValue(m_deviceId, m_key, m_core->nvBytes(m_deviceId, m_name, value, FormatSpec()));
    }
    std::string FormatSpec() override { return m_pendingFormat ? *m_pendingFormat : m_core->nvFormat(m_deviceId, m_name); }
    void SetFormatSpec(std::string_view format) override
    {
        if (!m_core->formatType(m_deviceId, m_name, format))
            throw RuntimeError(lns::LcaError::kInvalidValue, "LCA: " + std::string(format) + " is not a format of " + m_name);
        m_pendingFormat = std::string(format);
    }
    void Commit() override
    {
        if (m_pendingFormat)
            m_core->commitFormat(m_deviceId, m_name, *m_pendingFormat);
        m_pendingFormat.reset();
    }

    std::int32_t MonitorTag() override { return point().tag; }
    void SetMonitorTag(std::int32_t tag) override
    {
        auto &m = point();
        if (m.tag == 0 && tag != 0) {
            // Turning monitoring on polls at once and reports the present value.
            m.nextPoll = {};
            m.lastText.reset();
        }
        m.tag = tag;
    }
    bool IsMonitorOn() override { return point().tag != 0; }
    std::int32_t MonitorRate() override { return point().rate; }
    void SetMonitorRate(std::int32_t rate) override
    {
        if (rate < 0)
            throw invalidValue(std::to_string(rate), m_name + " monitor rate");
        point().rate = rate;
    }
    bool IsMonitorPaused() override { return point().paused; }
    void SetMonitorPaused(bool paused) override { point().paused = paused; }

    Collection<lns::Cp> Cps() override
    {
        for (const auto &nv : interfaceOf(m_core->device(m_deviceId)).nvs)
            if (nv.name == m_name)
                return cpCollection(m_core, m_deviceId, nv.cps,
                                    [this](const CpDef &cp) { return nvCpKey(m_name, cp); });
        return {};
    }

private:
    const ValueType &type() { return *m_core->slot(m_core->device(m_deviceId), m_key).type; }
    SimCore::MonitorPoint &point()
    {
        type();  // the NV must exist
        return m_core->monitors[{m_deviceId, m_name}];
    }

    CorePtr m_core;
    std::int64_t m_deviceId;
    std::string m_name;
    std::string m_key;
    std::optional<std::string> m_pendingFormat;
};

class SimBlock final : public lns::FunctionalBlock
{
public:
    SimBlock(CorePtr core, std::int64_t deviceId, std::size_t index, const BlockDef &block)
        : m_core(std::move(core)), m_deviceId(deviceId), m_index(index), m_block(block),
          m_modeKey("mode:" + std::to_string(index))
    {
    }
    std::string Name() override { return m_block.name; }
    Collection<lns::Cp> Cps() override
    {
        return cpCollection(m_core, m_deviceId, m_block.cps,
                            [this](const CpDef &cp) { return blockCpKey(m_index, cp); });
    }
    std::int16_t Mode() override
    {
        const auto &values = m_core->device(m_deviceId).values;
        const auto it = values.find(m_modeKey);
        return it == values.end() || it->second.size() != 2 ? 0 : static_cast<std::int16_t>(it->second[0] << 8 | it->second[1]);
    }
    void SetMode(std::int16_t mode) override
    {
        const auto u = static_cast<std::uint16_t>(mode);
        m_core->storeValue(m_core->device(m_deviceId), m_modeKey, {static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u)});
    }
    std::int32_t FunctionalProfileKey() override { return m_block.profileKey; }
    std::shared_ptr<lns::ComponentApps> ComponentApplications() override
    {
        return makeComponentApps(m_core, "device-lonmark:" + std::to_string(m_deviceId) + ":" + m_block.name);
    }

private:
    CorePtr m_core;
    std::int64_t m_deviceId;
    std::size_t m_index;
    const BlockDef &m_block;  // models live as long as the process
    std::string m_modeKey;
};

class SimInterface final : public lns::Interface
{
public:
    SimInterface(CorePtr core, std::int64_t deviceId) : m_core(std::move(core)), m_deviceId(deviceId) {}
    Collection<lns::Nv> Nvs() override
    {
        std::vector<std::shared_ptr<lns::Nv>> items;
        for (const auto &nv : interfaceDef().nvs)
            items.push_back(makeNvHandle(m_core, m_deviceId, nv.name));
        return Collection<lns::Nv>(std::move(items));
    }
    Collection<lns::FunctionalBlock> FunctionalBlocks() override
    {
        std::vector<std::shared_ptr<lns::FunctionalBlock>> items;
        const auto &blocks = interfaceDef().blocks;
        for (std::size_t i = 0; i < blocks.size(); ++i)
            items.push_back(std::make_shared<SimBlock>(m_core, m_deviceId, i, blocks[i]));
        return Collection<lns::FunctionalBlock>(std::move(items));
    }
    // The device's LonMark objects are its functional blocks.
    Collection<lns::FunctionalBlock> LonMarkObjects() override { return FunctionalBlocks(); }
    Collection<lns::Cp> Cps() override
    {
        return cpCollection(m_core, m_deviceId, interfaceDef().cps, [](const CpDef &cp) { return deviceCpKey(cp); });
    }

private:
    const InterfaceDef &interfaceDef() { return interfaceOf(m_core->device(m_deviceId)); }

    CorePtr m_core;
    std::int64_t m_deviceId;
};

class SimAppDevice final : public lns::AppDevice
{
public:
    SimAppDevice(CorePtr core, std::int64_t id) : m_core(std::move(core)), m_id(id) {}
    std::int64_t id() const { return m_id; }
    std::string Name() override { return row().name; }
    std::string NeuronId() override { return row().neuronId; }
    std::string ProgramId() override { return row().programId; }
    std::string Location() override { return row().location; }
    std::string TemplateName() override { return row().templateName; }
    bool Commissioned() override { return row().commissioned; }
    std::int32_t State() override { return row().nodeState; }
    lns::DeviceStatus QueryStatus() override
    {
        auto &d = row();
        m_core->deviceCall(d);
        return {d.nodeState, d.lastError};
    }
    std::int32_t SelfTest() override
    {
        auto &d = row();
        m_core->deviceCall(d);
        return d.selfTest;
    }
    void ClearStatus() override
    {
        auto &d = row();
        m_core->deviceCall(d);
        d.lastError = 0;
        m_core->persistLastError(d);
    }
    std::shared_ptr<lns::Interface> GetInterface() override
    {
        row();
        return std::make_shared<SimInterface>(m_core, m_id);
    }

private:
    DeviceRow &row() { return m_core->device(m_id); }

    CorePtr m_core;
    std::int64_t m_id;
};

// A transfer is one call to the device: the device makes up the file when the transfer
// starts (the call faults apply there), then the file moves in windows at the channel's
// speed. Every idle interval carries its share of the bytes, raises the idle event, ends
// the transfer with an error when the system's cancel request came, and needs the system
// open and the device answering; a device that stops answering part-way (its model's
// fault, a condition changed meanwhile) ends the transfer with a communication failure,
// and none of the file is returned.
class SimFileTransfer final : public lns::FileTransfer
{
public:
    explicit SimFileTransfer(CorePtr core) : m_core(std::move(core)) {}
    void SetFileNumber(std::int32_t number) override { m_number = number; }
    void SetLength(std::int32_t bytes) override { m_length = bytes; }
    void SetParameters(std::int32_t, std::int32_t, std::int32_t) override {}
    void SetTargetDevice(std::shared_ptr<lns::AppDevice> device) override
    {
        auto *sim = dynamic_cast<SimAppDevice *>(device.get());
        if (!sim)
            throw RuntimeError(lns::LcaError::kInvalidValue, "LCA: not a device of this object server");
        m_deviceId = sim->id();
    }
    std::vector<std::uint8_t> Read() override
    {
        Running running(*m_core);
        auto bytes = m_core->readFile(target(), m_number, m_length);
        const double rate = m_core->fileBytesPerSecond(target(), m_number);
        if (const auto failsAfter = m_core->fileFailsAfter(target(), m_number); failsAfter && *failsAfter < bytes.size()) {
            moveWindows(*failsAfter, rate);
            throw communicationFailure(m_core->device(target()).name + " stopped answering after " +
                                       std::to_string(*failsAfter) + " of " + std::to_string(bytes.size()) + " bytes");
        }
        moveWindows(bytes.size(), rate);
        return bytes;
    }
    void Write(const std::vector<std::uint8_t> &bytes) override
    {
        Running running(*m_core);
        m_core->writeFile(target(), m_number, bytes);
        moveWindows(bytes.size(), m_core->fileBytesPerSecond(target(), m_number));
    }

private:
    struct Running
    {
        explicit Running(SimCore &c) : core(c)
        {
            if (core.operationRunning)
                throw RuntimeError(lns::LcaError::kAccessDenied, "LCA: another operation is running");
            core.operationRunning = true;
            core.cancelRequested = false;
        }
        ~Running()
        {
            core.operationRunning = false;
            core.cancelRequested = false;
        }
        SimCore &core;
    };

    std::int64_t target() const
    {
        if (m_deviceId == 0)
            throw RuntimeError(lns::LcaError::kInvalidValue, "LCA: the file transfer has no target device");
        return m_deviceId;
    }

    void moveWindows(std::size_t bytes, double bytesPerSecond)
    {
        const auto &o = m_core->options();
        auto left = std::chrono::microseconds(static_cast<std::int64_t>(1e6 * static_cast<double>(bytes) / bytesPerSecond));
        const auto step = std::max(std::chrono::duration_cast<std::chrono::microseconds>(o.idleInterval),
                                   std::chrono::microseconds(1));
        while (left > std::chrono::microseconds::zero()) {
            const auto span = std::min(left, step);
            m_core->wait(span);
            left -= span;
            m_core->raiseIdle();
            if (m_core->cancelRequested)
                throw RuntimeError(lns::LcaError::kOperationCancelled, "LCA: The operation was cancelled");
            m_core->continueFileTransfer(target());
        }
    }

    CorePtr m_core;
    std::int32_t m_number = 0;
    std::int32_t m_length = 0;
    std::int64_t m_deviceId = 0;
};

}  // namespace

std::shared_ptr<lns::Nv> makeNvHandle(const CorePtr &core, std::int64_t deviceId, const std::string &nvName)
{
    return std::make_shared<SimNv>(core, deviceId, nvName);
}

std::shared_ptr<lns::AppDevice> makeAppDevice(const CorePtr &core, std::int64_t deviceId)
{
    return std::make_shared<SimAppDevice>(core, deviceId);
}

std::unique_ptr<lns::FileTransfer> makeFileTransfer(const CorePtr &core)
{
    return std::make_unique<SimFileTransfer>(core);
}

}  // namespace tellumic::sim
