// The help display finds a page for every topic the program opens, and the pages' links lead to
// files that are there.
#include "help.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

namespace {

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "dravik_help_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* application = new QCoreApplication(argc, argv);
    return *application;
}

QString readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// Every "page.htm>window" literal in the program's sources.
QSet<QString> topicsInSources()
{
    QSet<QString> topics;
    QRegularExpression literal(QStringLiteral("\"([A-Za-z0-9_]+\\.htm(?:>[A-Za-z0-9_ ]*)?)\""));
    QDirIterator it(QStringLiteral(DRAVIK_APP_SOURCE_DIR), {"*.cpp", "*.h"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QString path = it.next();
        if (path.contains(QStringLiteral("/tests/")))
            continue;
        for (const QString& line : readText(path).split(QLatin1Char('\n'))) {
            // Comments describe the form of a topic; only code opens one.
            if (line.trimmed().startsWith(QStringLiteral("//")))
                continue;
            auto matches = literal.globalMatch(line);
            while (matches.hasNext())
                topics.insert(matches.next().captured(1));
        }
    }
    return topics;
}

} // namespace

TEST(Help, EveryTopicTheProgramOpensHasItsPage)
{
    app();
    QSet<QString> topics = topicsInSources();
    for (const char* topic : {helptopic::kHome, helptopic::kRecording, helptopic::kVox,
                              helptopic::kAutoStartStop, helptopic::kAutoSave})
        topics.insert(QString::fromLatin1(topic));
    ASSERT_GE(topics.size(), 5);
    for (const QString& topic : topics) {
        QString file = helpFileFor(topic);
        EXPECT_FALSE(file.isEmpty()) << "no page for " << topic.toStdString();
        EXPECT_TRUE(QFileInfo(file).isFile()) << file.toStdString();
        EXPECT_TRUE(file.endsWith(QLatin1Char('/') + topic.section(QLatin1Char('>'), 0, 0)));
    }
}

TEST(Help, TopicWithoutWindowAndTopicsOutsideTheHelp)
{
    app();
    EXPECT_EQ(helpFileFor(QStringLiteral("home.htm")), helpFileFor(helptopic::kHome));
    EXPECT_TRUE(helpFileFor(QStringLiteral("missing.htm>Help")).isEmpty());
    EXPECT_TRUE(helpFileFor(QStringLiteral("../help/home.htm>Help")).isEmpty());
    EXPECT_TRUE(helpFileFor(QStringLiteral("/etc/passwd")).isEmpty());
    EXPECT_TRUE(helpFileFor(QStringLiteral(">Dravik")).isEmpty());
}

TEST(Help, LinksBetweenPagesLeadToFilesThatExist)
{
    app();
    QFileInfo home(helpFileFor(helptopic::kHome));
    ASSERT_TRUE(home.isFile());
    QDir folder = home.dir();
    QRegularExpression link(QStringLiteral("(?:href|src)=\"([^\"#:]+)(?:#[^\"]*)?\""));
    int links = 0;
    for (const QString& page : folder.entryList({"*.htm"}, QDir::Files)) {
        QString text = readText(folder.filePath(page));
        EXPECT_TRUE(text.contains(QStringLiteral("help.css"))) << page.toStdString();
        auto matches = link.globalMatch(text);
        while (matches.hasNext()) {
            QString target = matches.next().captured(1);
            ++links;
            EXPECT_TRUE(QFileInfo(folder.filePath(target)).isFile())
                << page.toStdString() << " links to " << target.toStdString();
        }
    }
    EXPECT_GT(links, 10);
}
