#pragma once

class QDBusConnection;

namespace tellumic {

// Lets the connection read every message the bus delivers, whatever its size and however
// many arrive at once, so that a client's huge message costs that client only.
void acceptMessagesOfAnySize(const QDBusConnection &connection);

}  // namespace tellumic
