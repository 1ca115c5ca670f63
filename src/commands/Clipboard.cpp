#include "commands/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QString>
#if defined(Q_OS_LINUX)
#include <QProcess>
#include <QStandardPaths>
#endif

void Clipboard::setText(const QString &text, AskedThrough askedThrough)
{
#if defined(Q_OS_LINUX)
    const QString wlCopy =
        askedThrough == AskedThrough::AnotherProgram &&
                QGuiApplication::platformName().startsWith(QLatin1String("wayland"))
            ? QStandardPaths::findExecutable(QStringLiteral("wl-copy"))
            : QString();
    if (wlCopy.isEmpty()) {
        // Qt keeps serving it for as long as we run.
        QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
        return;
    }
    // Never waited for: it serves the text from a process of its own and
    // its first one ends at once.
    auto *copy = new QProcess(qApp);
    copy->setStandardOutputFile(QProcess::nullDevice());
    copy->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(copy, &QProcess::finished, copy, &QObject::deleteLater);
    // Other errors (its input closed early) do not end it: it is not killed.
    QObject::connect(copy, &QProcess::errorOccurred, copy, [copy](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            copy->deleteLater();
    });
    copy->start(wlCopy, {QStringLiteral("--type"), QStringLiteral("text/plain;charset=utf-8")});
    copy->write(text.toUtf8());
    copy->closeWriteChannel();
#else
    Q_UNUSED(askedThrough);
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
#endif
}
