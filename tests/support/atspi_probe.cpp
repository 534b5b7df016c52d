#include "tests/support/atspi_probe.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QProcess>
#include <QTimer>

namespace tellumic::test {

namespace {

constexpr int kProbeTimeoutMs = 90000;

QList<AtspiObject> errors(const QJsonArray &steps, const QString &why)
{
    QList<AtspiObject> out;
    for (qsizetype i = 0; i < steps.size(); ++i)
        out.append(AtspiObject{QJsonObject{{QStringLiteral("error"), why}}});
    return out;
}

}  // namespace

QStringList AtspiObject::states() const
{
    QStringList out;
    for (const QJsonValue &v : json.value(QStringLiteral("states")).toArray())
        out << v.toString();
    return out;
}

QStringList AtspiObject::actions() const
{
    QStringList out;
    for (const QJsonValue &v : json.value(QStringLiteral("actions")).toArray())
        out << v.toString();
    return out;
}

QList<AtspiObject> AtspiObject::children() const
{
    QList<AtspiObject> out;
    for (const QJsonValue &v : json.value(QStringLiteral("children")).toArray())
        out.append(AtspiObject{v.toObject()});
    return out;
}

QStringList AtspiObject::selectedNames() const
{
    QStringList out;
    for (const AtspiObject &c : children()) {
        if (c.has(QStringLiteral("selected")))
            out << c.name();
        out << c.selectedNames();
    }
    return out;
}

QJsonObject findStep(const QString &role, const QString &name, int depth, const QString &action)
{
    QJsonObject find;
    if (!role.isEmpty())
        find.insert(QStringLiteral("role"), role);
    if (!name.isEmpty())
        find.insert(QStringLiteral("name"), name);
    QJsonObject step{{QStringLiteral("find"), find}, {QStringLiteral("depth"), depth}};
    if (!action.isEmpty())
        step.insert(QStringLiteral("action"), action);
    return step;
}

QList<AtspiObject> atspiProbe(const QJsonArray &steps, qint64 pid)
{
    const QJsonObject request{{QStringLiteral("pid"), pid ? pid : QCoreApplication::applicationPid()},
                              {QStringLiteral("steps"), steps}};
    QProcess probe;
    QEventLoop loop;
    QObject::connect(&probe, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&probe, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(kProbeTimeoutMs, &loop, &QEventLoop::quit);
    probe.start(QStringLiteral(TELLUMIC_ATSPI_PYTHON), {QStringLiteral(TELLUMIC_ATSPI_PROBE)});
    if (!probe.waitForStarted(10000))
        return errors(steps, QStringLiteral("the probe did not start: ") + probe.errorString());
    probe.write(QJsonDocument(request).toJson(QJsonDocument::Compact));
    probe.closeWriteChannel();
    // The probe's questions are answered by this process's event loop: wait in it.
    loop.exec();
    if (probe.state() != QProcess::NotRunning) {
        probe.kill();
        probe.waitForFinished(5000);
        return errors(steps, QStringLiteral("the probe did not end in time"));
    }
    const QByteArray out = probe.readAllStandardOutput();
    const QJsonDocument doc = QJsonDocument::fromJson(out);
    if (!doc.isArray())
        return errors(steps, QStringLiteral("the probe said: ") + QString::fromUtf8(out) +
                                 QString::fromUtf8(probe.readAllStandardError()));
    QList<AtspiObject> results;
    for (const QJsonValue &v : doc.array())
        results.append(AtspiObject{v.toObject()});
    return results;
}

AtspiObject atspiFind(const QString &role, const QString &name, int depth, qint64 pid)
{
    const auto results = atspiProbe(QJsonArray{findStep(role, name, depth)}, pid);
    return results.isEmpty() ? AtspiObject{QJsonObject{{QStringLiteral("error"), QStringLiteral("no result")}}}
                             : results.front();
}

}  // namespace tellumic::test
