#pragma once

// Window tests that read and drive windows over the accessibility bus, as a screen reader
// does: through AT-SPI, not through QAccessible in the process. That is where a screen reader
// meets the product, and where an object that answers well in the process may still say
// nothing (a text it gives only as a value, which AT-SPI does not carry for most roles).

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace tellumic::test {

// One object as AT-SPI describes it (see atspi_probe.py).
struct AtspiObject
{
    QJsonObject json;

    bool found() const { return !json.contains(QStringLiteral("error")); }
    QString error() const { return json.value(QStringLiteral("error")).toString(); }
    QString role() const { return json.value(QStringLiteral("role")).toString(); }
    QString name() const { return json.value(QStringLiteral("name")).toString(); }
    QString description() const { return json.value(QStringLiteral("description")).toString(); }
    bool hasText() const { return json.value(QStringLiteral("text")).isString(); }
    QString text() const { return json.value(QStringLiteral("text")).toString(); }
    QStringList states() const;
    bool has(const QString &state) const { return states().contains(state); }
    QStringList actions() const;
    QList<AtspiObject> children() const;
    // The names of the descendants (to the depth described) that are selected.
    QStringList selectedNames() const;
};

// A step for the probe: find an object by role and accessible name and describe it to `depth`
// levels of children; with an action, do it first.
QJsonObject findStep(const QString &role, const QString &name, int depth = 0, const QString &action = {});

// Runs the probe against the process pid (this test's own by default) while this process's
// event loop goes on answering the bus. One result per step; a probe that fails gives errors.
QList<AtspiObject> atspiProbe(const QJsonArray &steps, qint64 pid = 0);

// One object, found by role and name.
AtspiObject atspiFind(const QString &role, const QString &name, int depth = 0, qint64 pid = 0);

}  // namespace tellumic::test
