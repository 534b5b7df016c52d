#include "foundation/plugin_state.h"

namespace tellumic {

PlugInState &plugIn()
{
    static PlugInState state;
    return state;
}

namespace {
ObjectServerFactory g_objectServerFactory;
}

void setObjectServerFactory(ObjectServerFactory factory)
{
    g_objectServerFactory = std::move(factory);
}

std::shared_ptr<lns::ObjectServer> createObjectServer()
{
    if (!g_objectServerFactory)
        throw RuntimeError(lns::LcaError::kNotOpen, "No LNS object server is installed");
    return g_objectServerFactory();
}

}  // namespace tellumic
