#include "sim/object_seam.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

#include <filesystem>

namespace tellumic::sim {

namespace {

using lns::Collection;

std::string databaseText(const SQLite::Exception &e)
{
    switch (e.getErrorCode()) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "LCA: The network database is locked by another program (" + std::string(e.what()) + ")";
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return "LCA: The network database is damaged (" + std::string(e.what()) + ")";
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH:
        return "LCA: The network database cannot be opened or written: permission denied or read-only (" +
               std::string(e.what()) + ")";
    case SQLITE_FULL:
        return "LCA: The disk of the network database is full (" + std::string(e.what()) + ")";
    default:
        return "LCA: Network database error (" + std::string(e.what()) + ")";
    }
}

// Each wrapper holds the simulator's object and runs every call of it through atSeam.
#define THROUGH_SEAM(call) return atSeam([&]() -> decltype(auto) { return m_in->call; })

template <typename T>
class Wrapper
{
public:
    explicit Wrapper(std::shared_ptr<T> in) : m_in(std::move(in)) {}
    const std::shared_ptr<T> &inner() const { return m_in; }

protected:
    std::shared_ptr<T> m_in;
};

class GuardedCp final : public lns::Cp, public Wrapper<lns::Cp>
{
public:
    using Wrapper::Wrapper;
    std::string Name() override { THROUGH_SEAM(Name()); }
    std::int32_t ResourceScope() override { THROUGH_SEAM(ResourceScope()); }
    std::int32_t TypeIndex() override { THROUGH_SEAM(TypeIndex()); }
    std::string Value() override { THROUGH_SEAM(Value()); }
    void SetValue(std::string_view value) override { THROUGH_SEAM(SetValue(value)); }
    std::int32_t ValueAsLong() override { THROUGH_SEAM(ValueAsLong()); }
    void SetValueAsLong(std::int32_t value) override { THROUGH_SEAM(SetValueAsLong(value)); }
};

class GuardedNv final : public lns::Nv, public Wrapper<lns::Nv>
{
public:
    using Wrapper::Wrapper;
    std::string Name() override { THROUGH_SEAM(Name()); }
    std::string Value() override { THROUGH_SEAM(Value()); }
    void SetValue(std::string_view value) override { THROUGH_SEAM(SetValue(value)); }
    std::string FormatSpec() override { THROUGH_SEAM(FormatSpec()); }
    void SetFormatSpec(std::string_view format) override { THROUGH_SEAM(SetFormatSpec(format)); }
    void Commit() override { THROUGH_SEAM(Commit()); }
    std::int32_t MonitorTag() override { THROUGH_SEAM(MonitorTag()); }
    void SetMonitorTag(std::int32_t tag) override { THROUGH_SEAM(SetMonitorTag(tag)); }
    bool IsMonitorOn() override { THROUGH_SEAM(IsMonitorOn()); }
    std::int32_t MonitorRate() override { THROUGH_SEAM(MonitorRate()); }
    void SetMonitorRate(std::int32_t rate) override { THROUGH_SEAM(SetMonitorRate(rate)); }
    bool IsMonitorPaused() override { THROUGH_SEAM(IsMonitorPaused()); }
    void SetMonitorPaused(bool paused) override { THROUGH_SEAM(SetMonitorPaused(paused)); }
    Collection<lns::Cp> Cps() override { return guardedAll(atSeam([&] { return m_in->Cps(); })); }
};

class GuardedBlock final : public lns::FunctionalBlock, public Wrapper<lns::FunctionalBlock>
{
public:
    using Wrapper::Wrapper;
    std::string Name() override { THROUGH_SEAM(Name()); }
    Collection<lns::Cp> Cps() override { return guardedAll(atSeam([&] { return m_in->Cps(); })); }
    std::int16_t Mode() override { THROUGH_SEAM(Mode()); }
    void SetMode(std::int16_t mode) override { THROUGH_SEAM(SetMode(mode)); }
    std::int32_t FunctionalProfileKey() override { THROUGH_SEAM(FunctionalProfileKey()); }
    std::shared_ptr<lns::ComponentApps> ComponentApplications() override
    {
        return guarded(atSeam([&] { return m_in->ComponentApplications(); }));
    }
};

class GuardedInterface final : public lns::Interface, public Wrapper<lns::Interface>
{
public:
    using Wrapper::Wrapper;
    Collection<lns::Nv> Nvs() override { return guardedAll(atSeam([&] { return m_in->Nvs(); })); }
    Collection<lns::FunctionalBlock> FunctionalBlocks() override
    {
        return guardedAll(atSeam([&] { return m_in->FunctionalBlocks(); }));
    }
    Collection<lns::FunctionalBlock> LonMarkObjects() override
    {
        return guardedAll(atSeam([&] { return m_in->LonMarkObjects(); }));
    }
    Collection<lns::Cp> Cps() override { return guardedAll(atSeam([&] { return m_in->Cps(); })); }
};

class GuardedComponentApp final : public lns::ComponentApp, public Wrapper<lns::ComponentApp>
{
public:
    using Wrapper::Wrapper;
    std::string Name() override { THROUGH_SEAM(Name()); }
    std::string ProgId() override { THROUGH_SEAM(ProgId()); }
    std::int32_t ObjectType() override { THROUGH_SEAM(ObjectType()); }
    std::int32_t CommandId() override { THROUGH_SEAM(CommandId()); }
    void SetCommandId(std::int32_t id) override { THROUGH_SEAM(SetCommandId(id)); }
    std::string Description() override { THROUGH_SEAM(Description()); }
    void SetDescription(std::string_view text) override { THROUGH_SEAM(SetDescription(text)); }
    std::string Version() override { THROUGH_SEAM(Version()); }
    void SetVersion(std::string_view version) override { THROUGH_SEAM(SetVersion(version)); }
    std::string ManufacturerId() override { THROUGH_SEAM(ManufacturerId()); }
    void SetManufacturerId(std::string_view id) override { THROUGH_SEAM(SetManufacturerId(id)); }
    bool IsDefault() override { THROUGH_SEAM(IsDefault()); }
    void SetIsDefault(bool isDefault) override { THROUGH_SEAM(SetIsDefault(isDefault)); }
};

class GuardedComponentApps final : public lns::ComponentApps, public Wrapper<lns::ComponentApps>
{
public:
    using Wrapper::Wrapper;
    Collection<lns::ComponentApp> Items() override { return guardedAll(atSeam([&] { return m_in->Items(); })); }
    std::shared_ptr<lns::ComponentApp> Add(std::string_view name, std::string_view progId, std::int32_t objectType) override
    {
        return guarded(atSeam([&] { return m_in->Add(name, progId, objectType); }));
    }
    void Remove(std::int32_t index) override { THROUGH_SEAM(Remove(index)); }
};

class GuardedTemplate final : public lns::DeviceTemplate, public Wrapper<lns::DeviceTemplate>
{
public:
    using Wrapper::Wrapper;
    std::string Name() override { THROUGH_SEAM(Name()); }
    std::string ProgramId() override { THROUGH_SEAM(ProgramId()); }
    std::shared_ptr<lns::ComponentApps> ComponentApplications() override
    {
        return guarded(atSeam([&] { return m_in->ComponentApplications(); }));
    }
    Collection<lns::FunctionalBlock> LonMarkObjects() override
    {
        return guardedAll(atSeam([&] { return m_in->LonMarkObjects(); }));
    }
    void ImportXif(std::string_view xifPath) override { THROUGH_SEAM(ImportXif(xifPath)); }
};

class GuardedAppDevice final : public lns::AppDevice, public Wrapper<lns::AppDevice>
{
public:
    using Wrapper::Wrapper;
    std::string Name() override { THROUGH_SEAM(Name()); }
    std::string NeuronId() override { THROUGH_SEAM(NeuronId()); }
    std::string ProgramId() override { THROUGH_SEAM(ProgramId()); }
    std::string Location() override { THROUGH_SEAM(Location()); }
    std::string TemplateName() override { THROUGH_SEAM(TemplateName()); }
    bool Commissioned() override { THROUGH_SEAM(Commissioned()); }
    std::int32_t State() override { THROUGH_SEAM(State()); }
    lns::DeviceStatus QueryStatus() override { THROUGH_SEAM(QueryStatus()); }
    std::int32_t SelfTest() override { THROUGH_SEAM(SelfTest()); }
    void ClearStatus() override { THROUGH_SEAM(ClearStatus()); }
    std::shared_ptr<lns::Interface> GetInterface() override { return guarded(atSeam([&] { return m_in->GetInterface(); })); }
};

class GuardedSubsystem final : public lns::Subsystem, public Wrapper<lns::Subsystem>
{
public:
    using Wrapper::Wrapper;
    std::string Name() override { THROUGH_SEAM(Name()); }
    Collection<lns::AppDevice> AppDevices() override { return guardedAll(atSeam([&] { return m_in->AppDevices(); })); }
};

class GuardedFileTransfer final : public lns::FileTransfer
{
public:
    explicit GuardedFileTransfer(std::unique_ptr<lns::FileTransfer> in) : m_in(std::move(in)) {}
    void SetFileNumber(std::int32_t number) override { THROUGH_SEAM(SetFileNumber(number)); }
    void SetLength(std::int32_t bytes) override { THROUGH_SEAM(SetLength(bytes)); }
    void SetParameters(std::int32_t a, std::int32_t b, std::int32_t c) override { THROUGH_SEAM(SetParameters(a, b, c)); }
    void SetTargetDevice(std::shared_ptr<lns::AppDevice> device) override
    {
        // The simulator knows its own devices, not their wrappers.
        if (auto *wrapper = dynamic_cast<GuardedAppDevice *>(device.get()))
            device = wrapper->inner();
        THROUGH_SEAM(SetTargetDevice(device));
    }
    std::vector<std::uint8_t> Read() override { THROUGH_SEAM(Read()); }
    void Write(const std::vector<std::uint8_t> &bytes) override { THROUGH_SEAM(Write(bytes)); }

private:
    std::unique_ptr<lns::FileTransfer> m_in;
};

class GuardedSystem final : public lns::System, public Wrapper<lns::System>
{
public:
    using Wrapper::Wrapper;
    std::string Name() override { THROUGH_SEAM(Name()); }
    void Open() override { THROUGH_SEAM(Open()); }
    void Close() override { THROUGH_SEAM(Close()); }
    bool IsOpen() override { THROUGH_SEAM(IsOpen()); }
    std::int16_t MgmtMode() override { THROUGH_SEAM(MgmtMode()); }
    void SetMgmtMode(std::int16_t mode) override { THROUGH_SEAM(SetMgmtMode(mode)); }
    std::int32_t NumericSetting() override { THROUGH_SEAM(NumericSetting()); }
    void SetNumericSetting(std::int32_t value) override { THROUGH_SEAM(SetNumericSetting(value)); }
    bool Paused() override { THROUGH_SEAM(Paused()); }
    void SetPaused(bool paused) override { THROUGH_SEAM(SetPaused(paused)); }
    std::shared_ptr<lns::NetworkInterface> NetworkServiceDeviceInterface() override
    {
        return guarded(atSeam([&] { return m_in->NetworkServiceDeviceInterface(); }));
    }
    void SetNetworkServiceDeviceInterface(std::shared_ptr<lns::NetworkInterface> ni) override
    {
        THROUGH_SEAM(SetNetworkServiceDeviceInterface(ni));
    }
    Collection<lns::Subsystem> Subsystems() override { return guardedAll(atSeam([&] { return m_in->Subsystems(); })); }
    Collection<lns::DeviceTemplate> DeviceTemplates() override
    {
        return guardedAll(atSeam([&] { return m_in->DeviceTemplates(); }));
    }
    std::shared_ptr<lns::DeviceTemplate> AddDeviceTemplate(std::string_view name) override
    {
        return guarded(atSeam([&] { return m_in->AddDeviceTemplate(name); }));
    }
    void RemoveDeviceTemplate(std::string_view name) override { THROUGH_SEAM(RemoveDeviceTemplate(name)); }
    std::shared_ptr<lns::ComponentApps> ComponentApplications() override
    {
        return guarded(atSeam([&] { return m_in->ComponentApplications(); }));
    }
    std::string ImportFolder() override { THROUGH_SEAM(ImportFolder()); }
    void StartTransaction() override { THROUGH_SEAM(StartTransaction()); }
    void CommitTransaction() override { THROUGH_SEAM(CommitTransaction()); }
    void CancelTransaction() override { THROUGH_SEAM(CancelTransaction()); }
    std::unique_ptr<lns::FileTransfer> NewFileTransfer() override
    {
        return guarded(atSeam([&] { return m_in->NewFileTransfer(); }));
    }
    void CancelRunningOperation() override { THROUGH_SEAM(CancelRunningOperation()); }
};

class GuardedNetwork final : public lns::Network, public Wrapper<lns::Network>
{
public:
    using Wrapper::Wrapper;
    std::string Name() override { THROUGH_SEAM(Name()); }
    void Open() override { THROUGH_SEAM(Open()); }
    void Close() override { THROUGH_SEAM(Close()); }
    bool IsOpen() override { THROUGH_SEAM(IsOpen()); }
    Collection<lns::System> Systems() override { return guardedAll(atSeam([&] { return m_in->Systems(); })); }
};

#undef THROUGH_SEAM

// Forwards the simulator's events with guarded NV handles.
class GuardedSink final : public lns::ObjectServerEvents
{
public:
    explicit GuardedSink(lns::ObjectServerEvents &target) : m_target(target) {}
    void OnNetworkVariableUpdate(std::int32_t tag, const std::string &value, std::shared_ptr<lns::Nv> source) override
    {
        m_target.OnNetworkVariableUpdate(tag, value, guarded(std::move(source)));
    }
    void OnNvUpdateError(std::int32_t tag, const RuntimeError &error) override { m_target.OnNvUpdateError(tag, error); }
    void OnSystemServicePin(const std::string &neuronId, const std::string &programId) override
    {
        m_target.OnSystemServicePin(neuronId, programId);
    }
    void OnSystemNssIdle() override { m_target.OnSystemNssIdle(); }

private:
    lns::ObjectServerEvents &m_target;
};

template <typename Guard, typename T>
std::shared_ptr<T> wrap(std::shared_ptr<T> in)
{
    if (!in || dynamic_cast<Guard *>(in.get()))
        return in;
    return std::make_shared<Guard>(std::move(in));
}

}  // namespace

RuntimeError seamError(const std::exception &failure)
{
    if (const auto *db = dynamic_cast<const SQLite::Exception *>(&failure))
        return RuntimeError(lns::LcaError::kDatabaseError, databaseText(*db));
    if (dynamic_cast<const std::filesystem::filesystem_error *>(&failure))
        return RuntimeError(lns::LcaError::kDatabaseError, "LCA: File system error (" + std::string(failure.what()) + ")");
    return RuntimeError(lns::LcaError::kDatabaseError, "LCA: Internal error (" + std::string(failure.what()) + ")");
}

std::shared_ptr<lns::Network> guarded(std::shared_ptr<lns::Network> network)
{
    return wrap<GuardedNetwork>(std::move(network));
}

std::shared_ptr<lns::System> guarded(std::shared_ptr<lns::System> system)
{
    return wrap<GuardedSystem>(std::move(system));
}

std::shared_ptr<lns::Subsystem> guarded(std::shared_ptr<lns::Subsystem> subsystem)
{
    return wrap<GuardedSubsystem>(std::move(subsystem));
}

std::shared_ptr<lns::DeviceTemplate> guarded(std::shared_ptr<lns::DeviceTemplate> deviceTemplate)
{
    return wrap<GuardedTemplate>(std::move(deviceTemplate));
}

std::shared_ptr<lns::AppDevice> guarded(std::shared_ptr<lns::AppDevice> device)
{
    return wrap<GuardedAppDevice>(std::move(device));
}

std::shared_ptr<lns::Interface> guarded(std::shared_ptr<lns::Interface> deviceInterface)
{
    return wrap<GuardedInterface>(std::move(deviceInterface));
}

std::shared_ptr<lns::FunctionalBlock> guarded(std::shared_ptr<lns::FunctionalBlock> block)
{
    return wrap<GuardedBlock>(std::move(block));
}

std::shared_ptr<lns::Nv> guarded(std::shared_ptr<lns::Nv> nv)
{
    return wrap<GuardedNv>(std::move(nv));
}

std::shared_ptr<lns::Cp> guarded(std::shared_ptr<lns::Cp> cp)
{
    return wrap<GuardedCp>(std::move(cp));
}

std::shared_ptr<lns::ComponentApps> guarded(std::shared_ptr<lns::ComponentApps> apps)
{
    return wrap<GuardedComponentApps>(std::move(apps));
}

std::shared_ptr<lns::ComponentApp> guarded(std::shared_ptr<lns::ComponentApp> app)
{
    return wrap<GuardedComponentApp>(std::move(app));
}

// A network interface is a name held in memory; nothing below it can fail.
std::shared_ptr<lns::NetworkInterface> guarded(std::shared_ptr<lns::NetworkInterface> networkInterface)
{
    return networkInterface;
}

std::unique_ptr<lns::FileTransfer> guarded(std::unique_ptr<lns::FileTransfer> transfer)
{
    if (!transfer)
        return transfer;
    return std::make_unique<GuardedFileTransfer>(std::move(transfer));
}

std::unique_ptr<lns::ObjectServerEvents> guardedSink(lns::ObjectServerEvents &target)
{
    return std::make_unique<GuardedSink>(target);
}

}  // namespace tellumic::sim
