#include "host/bus_connection.h"

#include <QDBusConnection>

#include <dbus/dbus.h>

#include <limits>

namespace tellumic {

void acceptMessagesOfAnySize(const QDBusConnection &connection)
{
    auto *raw = static_cast<DBusConnection *>(connection.internalPointer());
    if (!raw)
        return;
    // The bus library stops reading a connection while the messages it has read and not yet
    // let go of hold more than 63 MiB (or 4096 file descriptors), and reads on once they are
    // let go of. Qt lets go of a message on whichever thread holds it last, often the
    // user-interface thread, and the bus socket's notifier cannot be switched on from there:
    // the connection was never read again. The bus bounds each message and what it queues
    // for a connection, so this pause guards nothing here.
    dbus_connection_set_max_received_size(raw, std::numeric_limits<long>::max());
    dbus_connection_set_max_received_unix_fds(raw, std::numeric_limits<long>::max());
}

}  // namespace tellumic
