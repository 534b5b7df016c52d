#include "foundation/plugin_state.h"

namespace tellumic {

PlugInState &plugIn()
{
    static PlugInState state;
    return state;
}

}  // namespace tellumic
