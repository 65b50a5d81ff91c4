// Finding a help page beside the program and opening it in the browser.
#include "help.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>
#include <QWidget>

#include "message_box.h"

QStringList helpFolders()
{
    QDir program(QCoreApplication::applicationDirPath());
    return {QDir::cleanPath(program.filePath(QStringLiteral("help"))),
            QDir::cleanPath(program.filePath(QStringLiteral("../share/dravik/help")))};
}

namespace {

QString pageOf(const QString& topic)
{
    QString page = topic.section(QLatin1Char('>'), 0, 0).trimmed();
    // A topic names a page of our help, never a path elsewhere.
    if (page.isEmpty() || page.contains(QLatin1Char('/')) || page.contains(QLatin1Char('\\')) ||
        page.startsWith(QLatin1Char('.')))
        return {};
    return page;
}

} // namespace

QString helpFileFor(const QString& topic)
{
    QString page = pageOf(topic);
    if (page.isEmpty())
        return {};
    for (const QString& folder : helpFolders()) {
        QFileInfo file(QDir(folder).filePath(page));
        if (file.isFile())
            return file.absoluteFilePath();
    }
    return {};
}

bool showHelp(const QString& topic, QWidget* parent)
{
    QString title = parent ? parent->window()->windowTitle() : QString();
    if (title.isEmpty())
        title = QCoreApplication::applicationName();
    QString file = helpFileFor(topic);
    if (file.isEmpty()) {
        messagebox::tell(
            parent, QMessageBox::Information, title,
            QStringLiteral("The help page \"%1\" is not installed. It was looked for in:\n%2")
                .arg(pageOf(topic).isEmpty() ? topic : pageOf(topic),
                     QDir::toNativeSeparators(helpFolders().join(QLatin1Char('\n')))));
        return false;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(file))) {
        messagebox::tell(
            parent, QMessageBox::Information, title,
            QStringLiteral("The help page could not be opened because no web browser was found. "
                           "You can open it yourself:\n%1")
                .arg(QDir::toNativeSeparators(file)));
        return false;
    }
    return true;
}
