#include "core/PageCache.h"
#include "retrieval/PageRenderer.h"
#include "ui/Application.h"
#include "ui/FileTypeIcons.h"
#include "ui/FileTypeRegistration.h"
#include "ui/HelpWindow.h"
#include "ui/Icons.h"
#include "ui/LinkListModel.h"
#include "ui/OpenLocationDialog.h"
#include "ui/SaveSiteMapDialog.h"
#include "ui/SiteTreeModel.h"
#include "ui/SourcePane.h"
#include "ui/SourceText.h"
#include "ui/UserAddress.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTreeView>

#include <memory>
#include <thread>
#include <vector>

using namespace lurvik;

class UiPartsTest : public QObject {
    Q_OBJECT

private slots:
    void urlHistoryKeepsFiveMostRecentFirst() {
        auto texts = [](const std::vector<Str>& list) {
            QStringList out;
            for (const Str& s : list)
                out << QString::fromStdString(s.str());
            return out;
        };
        std::vector<Str> history = {"a", "b", "c", "d", "e"};
        OpenLocationDialog::addToHistory(history, "c");
        QCOMPARE(texts(history), (QStringList{"c", "a", "b", "d", "e"}));
        OpenLocationDialog::addToHistory(history, "c");
        QCOMPARE(texts(history), (QStringList{"c", "a", "b", "d", "e"}));
        OpenLocationDialog::addToHistory(history, "f");
        QCOMPARE(texts(history), (QStringList{"f", "c", "a", "b", "d"}));
        OpenLocationDialog::addToHistory(history, "B");
        QCOMPARE(texts(history), (QStringList{"B", "f", "c", "a", "d"}));
    }

    // Links only the rendered page holds are marked in the list; the source view offers the
    // rendered document beside the reply as served, and only for a page that has one.
    void renderedLinksAndSourceBesideTheServedOnes() {
        QTemporaryDir cacheDir;
        CacheConfigure(1, Str(cacheDir.path().toStdString() + "/"), int64_t(16) << 20, 0);
        QCOMPARE(CacheBegin(), 0);
        SiteNode node(URL("http://example.test/a.html"));
        node.state = NODE_DONE;
        node.links.add(LINK_HYPERLINK, URL("http://example.test/served.html"), Str("served"));
        node.links.add(LINK_HYPERLINK, URL("http://example.test/made.html"), Str("made"));
        node.renderedLinks = std::make_unique<std::vector<uint32_t>>(std::vector<uint32_t>{1});
        LinkListModel links;
        links.fillPage(&node);
        QCOMPARE(links.index(0, LinkListModel::ColumnLink).data().toString(), QStringLiteral("served"));
        QCOMPARE(links.index(1, LinkListModel::ColumnLink).data().toString(),
                 QStringLiteral("made (rendered)"));
        QVERIFY(links.index(1, LinkListModel::ColumnUrl).data(Qt::FontRole).value<QFont>().italic());
        QVERIFY(!links.index(0, LinkListModel::ColumnUrl).data(Qt::FontRole).isValid());

        CacheSavePage(node.url, Str(),
                      Str("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<p>as served</p>"));
        AgentPool pool;
        SourcePane pane(pool);
        pane.showPage(node, true);
        QVERIFY(pane.renderedSwitch()->isHidden());
        CacheSavePage(renderedPageKey(node.url), Str(), Str("<html><body><p>as rendered</p></body></html>"));
        pane.showPage(node, true);
        QVERIFY(!pane.renderedSwitch()->isHidden());
        QVERIFY(pane.editor()->toPlainText().contains(QStringLiteral("as served")));
        pane.renderedSwitch()->setChecked(true);
        pane.showPage(node, true);
        QVERIFY(pane.editor()->toPlainText().contains(QStringLiteral("as rendered")));
        pane.renderedSwitch()->setChecked(false);
        CacheEnd();
    }

    void typedNamesAndAddresses() {
        QCOMPARE(SaveSiteMapDialog::mapFileName("site"), QStringLiteral("site.web"));
        QCOMPARE(SaveSiteMapDialog::mapFileName("site.web"), QStringLiteral("site.web"));
        QCOMPARE(SaveSiteMapDialog::mapFileName("site.WEB"), QStringLiteral("site.WEB.web"));
        QVERIFY(isSiteMapName("/tmp/x/SITE.WEB"));
        QVERIFY(!isSiteMapName("/tmp/x/site.html"));

        const struct {
            const char* typed;
            const char* url; // empty: invalid
        } rows[] = {
            {"www.example.com/a.html", "http://www.example.com/a.html"},
            {"localhost:8080/", "http://localhost:8080/"},
            {"  http://example.com/  ", "http://example.com/"},
            {"mailto:ann@example.com", "mailto:ann@example.com"},
        };
        for (const auto& row : rows) {
            URL url;
            QCOMPARE(parseUserAddress(row.typed, url), 0);
            QCOMPARE(QString::fromStdString(url.text()), QString::fromLatin1(row.url));
        }
    }

    // Types learnt on parsing threads get an index at once and their icon on the GUI thread later.
    void fileTypeIconsFromAnyThread() {
        FileTypeIcons& icons = FileTypeIcons::instance();
        std::vector<int> fromThreads(8);
        std::vector<std::thread> threads;
        for (int i = 0; i < 8; ++i)
            threads.emplace_back(
                [&, i] { fromThreads[i] = icons.registerIcon(i % 2 ? "application-pdf" : "text-x-lurvik"); });
        for (std::thread& t : threads)
            t.join();
        int pdf = icons.registerIcon("application-pdf");
        QVERIFY(pdf >= FileTypeIcons::kFirstIndex);
        for (int i = 1; i < 8; i += 2)
            QCOMPARE(fromThreads[i], pdf);
        QVERIFY(fromThreads[0] != pdf);
        QCOMPARE(QString::fromStdString(icons.iconName(pdf)), QString("application-pdf"));
        QVERIFY(icons.iconName(9999).empty());
        QVERIFY2(!Icons::linkIcon(pdf).isNull(), "a theme without the icon gives the page icon");
        QVERIFY(!Icons::linkIcon(fromThreads[0]).isNull());
    }

    // Under a theme with every picture the tree and the link list need, both views draw the
    // theme's; under one that lacks any, both draw their own: never an empty cell, never half and
    // half.
    void viewIconsFollowTheTheme() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // Every picture solid magenta, a colour none of our own pictures has.
        auto makeTheme = [&](const QString& theme, const QStringList& names) {
            QVERIFY(QDir(dir.path()).mkpath(theme + "/16x16/all"));
            QFile index(dir.filePath(theme + "/index.theme"));
            QVERIFY(index.open(QIODevice::WriteOnly));
            index.write("[Icon Theme]\nName=T\nDirectories=16x16/all\n[16x16/all]\nSize=16\nType=Scalable\n"
                        "MinSize=8\nMaxSize=256\n");
            QImage picture(16, 16, QImage::Format_ARGB32);
            picture.fill(Qt::magenta);
            for (const QString& name : names)
                QVERIFY(picture.save(dir.filePath(theme + "/16x16/all/" + name + ".png")));
        };
        // The standard freedesktop icon names, as a full desktop theme has them.
        const QStringList full =
            QString(
                "applications-internet appointment-soon image-loading dialog-error text-html "
                "text-x-generic folder folder-remote network-server mail-read mail-unread image-x-generic "
                "application-x-executable package-x-generic emblem-symbolic-link emblem-important")
                .split(' ');
        makeTheme("Full", full);
        makeTheme("Partial", QStringList(full).mid(1));
        const QStringList searchPaths = QIcon::themeSearchPaths();
        const QString themeName = QIcon::themeName();
        QIcon::setThemeSearchPaths({dir.path()});
        const int learnt = FileTypeIcons::instance().registerIcon("application-x-nowhere");
        for (const QString& theme : QStringList{"Full", "Partial"}) {
            QIcon::setThemeName(theme);
            const bool themed = theme == "Full";
            std::vector<std::pair<QString, QIcon>> icons;
            for (int i = 0; i <= 6; ++i)
                icons.emplace_back("tree " + QString::number(i), Icons::treeIcon(i));
            for (int i = 0; i <= 11; ++i)
                icons.emplace_back("link " + QString::number(i), Icons::linkIcon(i));
            icons.emplace_back("learnt file type", Icons::linkIcon(learnt));
            for (const auto& [what, icon] : icons) {
                const QImage image = icon.pixmap(16, 16).toImage();
                QVERIFY2(!image.isNull(), qPrintable(theme + ": " + what));
                QVERIFY2((image.pixelColor(8, 8) == QColor(Qt::magenta)) == themed,
                         qPrintable(theme + ": " + what));
            }
        }
        QIcon::setThemeSearchPaths(searchPaths);
        QIcon::setThemeName(themeName);
    }

    void tagRemoval() {
        const struct {
            const char* html;
            const char* text;
        } rows[] = {
            {"<p>one</p>\r\n<p>two</p>", "onetwo"},
            {"<b>bold</b> trailing", "bold"},
            {"no tags at all", ""},
            {"lead<br>", "lead"},
            {"<a href=\"x\">x</a>\r\n\r\n<i>", "x\r\n\r\n"},
        };
        for (const auto& row : rows) {
            Str out;
            removeTags(Str(row.html), out);
            QCOMPARE(QString::fromStdString(out.str()), QString::fromLatin1(row.text));
        }
    }

    // Pages arriving from a map: duplicates under every parent, or once with DupChildren; and a
    // tree of fifty thousand pages stays quick to fill and to draw.
    void mapPagesAndScale() {
        SiteEngine engine;
        AgentPool pool;
        RetrievalScheduler scheduler(engine, pool);
        std::vector<std::unique_ptr<SiteNode>> nodes;
        auto make = [&](const std::string& path) {
            nodes.push_back(std::make_unique<SiteNode>(URL("http://h.example" + path)));
            nodes.back()->state = NODE_DONE;
            return nodes.back().get();
        };
        auto link = [](SiteNode* parent, SiteNode* child) {
            parent->children.add(child);
            child->parents.add(parent);
        };
        for (bool dup : {false, true}) {
            SiteTreeModel model(engine, pool, scheduler);
            model.dupChildren = dup;
            SiteNode* top = make("/");
            SiteNode* a = make("/a");
            SiteNode* b = make("/b");
            model.nodeChanged(top, -1);
            link(top, a);
            model.nodeChanged(a, -1);
            link(top, b);
            link(a, b);
            model.nodeChanged(b, -1);
            // A page announced again is already under its parents and its children under it.
            model.nodeChanged(b, -1);
            model.nodeChanged(a, -1);
            SiteTreeModel::Item* site = model.root()->children.at(0);
            QCOMPARE(site->children.size(), size_t(2));
            QCOMPARE(model.itemById(a->treeItems.get(0))->children.size(), dup ? size_t(0) : size_t(1));
            QCOMPARE(b->treeItems.len(), dup ? 1 : 2);
            model.clearAll();
            QCOMPARE(b->treeItems.len(), 0);
        }

        SiteTreeModel model(engine, pool, scheduler);
        QTreeView view;
        view.setUniformRowHeights(true);
        view.setModel(&model);
        view.resize(400, 600);
        view.show();
        model.onExpand = [&](SiteTreeModel::Item* item, bool expand) {
            view.setExpanded(model.indexOf(item), expand);
        };
        SiteNode* hub = make("/hub");
        model.nodeChanged(hub, -1);
        view.expand(model.indexOf(model.itemById(hub->treeItems.get(0))));
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 50000; ++i) {
            SiteNode* page = make("/p" + std::to_string(i));
            link(hub, page);
            model.nodeChanged(page, -1);
        }
        qint64 fill = clock.restart();
        view.scrollToBottom();
        (void)view.grab();
        qint64 draw = clock.elapsed();
        QCOMPARE(model.itemById(hub->treeItems.get(0))->children.size(), size_t(50000));
        QVERIFY2(fill < 20000, qPrintable(QString::number(fill)));
        QVERIFY2(draw < 2000, qPrintable(QString::number(draw)));
        model.clearAll();
    }

    void siteMapsRegisteredWithTheDesktop() {
        QTemporaryDir home;
        QString program = QStringLiteral("/opt/my apps/lurvik");
        FileTypeRegistration::registerFileType(program, home.path());
        QFile mime(home.filePath(QStringLiteral("mime/packages/lurvik.xml")));
        QFile desktop(home.filePath(QStringLiteral("applications/lurvik.desktop")));
        QVERIFY(mime.open(QIODevice::ReadOnly));
        QVERIFY(desktop.open(QIODevice::ReadOnly));
        QString types = QString::fromUtf8(mime.readAll());
        QString entry = QString::fromUtf8(desktop.readAll());
        QVERIFY(types.contains(QStringLiteral("type=\"application/lurvik\"")));
        QVERIFY(types.contains(QStringLiteral("<glob pattern=\"*.web\"/>")));
        QVERIFY(entry.contains(QStringLiteral("Exec=\"/opt/my apps/lurvik\" %f\n")));
        QVERIFY(entry.contains(QStringLiteral("MimeType=application/lurvik;\n")));
        // A program that moved rewrites its entry.
        FileTypeRegistration::registerFileType(QStringLiteral("/usr/bin/lurvik"), home.path());
        desktop.close();
        QVERIFY(desktop.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(desktop.readAll()).contains(QStringLiteral("Exec=\"/usr/bin/lurvik\" %f")));
    }

    void helpTopicsOpenAtTheirPages() {
        // Every context the program opens has its page, and the anchor it jumps to is there.
        for (int context : {0, 1048, 4001, 4002, 4003, 4004, 4005, 4006, 4007, 4010, 4013}) {
            const QString topic = HelpWindow::topicPage(context);
            QFile page(HelpWindow::helpDirectory() + QLatin1Char('/') +
                       topic.section(QLatin1Char('#'), 0, 0));
            QVERIFY2(page.open(QIODevice::ReadOnly), qPrintable(topic));
            const QString anchor = topic.section(QLatin1Char('#'), 1);
            QVERIFY2(anchor.isEmpty() || page.readAll().contains(("name=\"" + anchor + "\"").toUtf8()),
                     qPrintable(topic));
            QVERIFY2(context == 0 || topic != QStringLiteral("index.html"),
                     qPrintable(QString::number(context)));
        }
        HelpWindow::showTopic(4013, nullptr);
        QVERIFY(HelpWindow::instance());
        QTextBrowser* browser = HelpWindow::instance()->browser();
        QCOMPARE(browser->source().fragment(), QStringLiteral("save"));
        QVERIFY(browser->toPlainText().contains(QStringLiteral("Create Site Map")));
        HelpWindow::instance()->close();
    }
};

QObject* makeMainWindowTest();
QObject* makeLongWorkTest();
QObject* makeFindWindowTest();

std::vector<std::unique_ptr<QObject>> makeUiTests() {
    std::vector<std::unique_ptr<QObject>> tests;
    tests.emplace_back(new UiPartsTest);
    tests.emplace_back(makeMainWindowTest());
    tests.emplace_back(makeLongWorkTest());
    tests.emplace_back(makeFindWindowTest());
    return tests;
}

#include "UiPartsTest.moc"
