#include "find/gui/FindWindow.h"
#include "SiteGenerator.h"
#include "TestServer.h"
#include "TimeScale.h"
#include "UiTestSupport.h"
#include "find/CriteriaFile.h"
#include "find/ObjectTypes.h"
#include "find/SearchHistory.h"
#include "find/gui/ContentTypeList.h"
#include "find/gui/CriteriaTabs.h"
#include "find/gui/FindWizard.h"
#include "find/gui/ResultsModel.h"
#include "find/gui/SaveCriteriaDialog.h"
#include "sitemap/SiteMapFile.h"
#include "ui/Application.h"
#include "ui/BusyLoop.h"
#include "ui/Commands.h"
#include "ui/FindCommands.h"
#include "ui/GoToPageDialog.h"
#include "ui/MainWindow.h"
#include "ui/PrintJob.h"
#include "ui/WindowPrinter.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

using namespace lurvik;
using lurvik::test::answerNext;
using lurvik::test::fileBytes;
using lurvik::test::kTimeScale;
using lurvik::test::outputOf;
using lurvik::test::pdfPrinter;
using lurvik::test::SiteGenerator;
using lurvik::test::SiteOptions;
using lurvik::test::TestServer;

namespace {

constexpr int kSearchTimeoutMs = 60000;

template <typename Widget>
Widget* control(QObject* window, const char* name) {
    auto* widget = window->findChild<Widget*>(QString::fromLatin1(name));
    if (!widget)
        qWarning("no control %s", name);
    return widget;
}

void setType(FindWindow* window, int index) {
    control<QComboBox>(window, "objectType")->setCurrentIndex(index);
}

void setText(FindWindow* window, const QString& text, bool inURL, bool inTitle, bool inBody) {
    control<QComboBox>(window, "searchText")->setEditText(text);
    control<QCheckBox>(window, "lookInURL")->setChecked(inURL);
    control<QCheckBox>(window, "lookInTitle")->setChecked(inTitle);
    control<QCheckBox>(window, "lookInBody")->setChecked(inBody);
}

// Types a value into a value list as a user does, ending with the focus leaving it.
void typeValue(QObject* window, const char* name, const QString& text) {
    auto* list = control<QComboBox>(window, name);
    list->setEditText(text);
    emit list->lineEdit()->editingFinished();
}

bool waitForRows(FindWindow* window) {
    return QTest::qWaitFor([window] { return !window->isSearching() && window->rowsPending() == 0; },
                           kSearchTimeoutMs);
}

QStringList windowUrls(FindWindow* window) {
    QStringList urls;
    for (int row = 0; row < window->results()->rowCount(); ++row)
        urls << window->results()->index(row, 2).data().toString();
    return urls;
}

// A criteria file as it would be with its time of saving left out, which every save stamps anew.
QByteArray criteriaWithoutTime(const QString& name) {
    FindCriteria criteria;
    criteria.setFileName(Str(name.toStdString()));
    if (criteria.load() != 0)
        return {};
    criteria.savedTime = {};
    QString copy = name + QStringLiteral(".untimed");
    if (writeCriteriaFile(criteria, Str(copy.toStdString())) != 0)
        return {};
    return fileBytes(copy);
}

// Drives a wizard page by page, noting the pages it shows; Finish hands over its criteria.
struct WizardWalk {
    explicit WizardWalk(SiteEngine& engine, AgentPool& pool) {
        host.engine = &engine;
        host.pool = &pool;
        wizard = std::make_unique<FindWizard>(host, [this](const FindCriteria& c, bool content) {
            criteria = c;
            contentAnswered = content;
            finished = true;
        });
        QObject::connect(wizard.get(), &QWizard::currentIdChanged, [this](int id) { shown << id; });
        wizard->show();
    }
    template <typename Widget>
    Widget* find(const char* name) {
        return wizard->findChild<Widget*>(QString::fromLatin1(name));
    }
    void answerNo(const char* prefix) {
        find<QRadioButton>((std::string(prefix) + "Second").c_str())->setChecked(true);
    }
    void type(const char* name, const QString& text) { typeValue(wizard.get(), name, text); }

    FindHost host;
    std::unique_ptr<FindWizard> wizard;
    QList<int> shown;
    FindCriteria criteria;
    bool contentAnswered = false;
    bool finished = false;
};

// The texts of the tree's items as the view shows them, depth first, through the model's own API.
void shownTexts(const QAbstractItemModel& model, const QModelIndex& parent, QStringList& out) {
    for (int row = 0; row < model.rowCount(parent); ++row) {
        QModelIndex index = model.index(row, 0, parent);
        out << index.data().toString();
        shownTexts(model, index, out);
    }
}

} // namespace

class FindWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    std::unique_ptr<TestServer> server;
    std::unique_ptr<TestServer> slowServer;
    std::unique_ptr<Application> app;
    std::unique_ptr<MainWindow> window;
    QString mapName;

    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    // lurvik-cli find on the saved map; the URL column of its results.
    QStringList cliUrls(const QStringList& arguments) {
        QStringList urls;
        QStringList lines =
            outputOf(QStringLiteral(LURVIK_CLI), QStringList{"find", mapName, "--format", "tsv"} + arguments)
                .split('\n', Qt::SkipEmptyParts);
        for (int i = 1; i < lines.size(); ++i)
            urls << lines[i].section('\t', 3, 3);
        return urls;
    }

private slots:
    // A generated site crawled through the main window and saved as the map the command line reads.
    void initTestCase() {
        QVERIFY(dir.isValid());
        SiteGenerator site(SiteOptions{20261206, 120});
        std::string root = path("site").toStdString();
        QCOMPARE(site.writeTo(root), 0);
        server = std::make_unique<TestServer>();
        server->serveDirectory(root);
        QCOMPARE(server->start(), 0);
        app = std::make_unique<Application>();
        app->start();
        window = std::make_unique<MainWindow>(*app);
        window->show();
        QVERIFY(window->startSite(QString::fromStdString(server->url("/index.html"))));
        QVERIFY(QTest::qWaitFor([this] { return !app->busyLoop->isBusy(); }, kSearchTimeoutMs));

        mapName = path("site.web");
        SiteMapFile map;
        map.fileName = Str(mapName.toStdString());
        SiteTreeModel::Item* first = window->treeModel()->root()->children.front();
        QCOMPARE(map.save(app->engine, first->node, false), 0);

        // Another site whose pages trickle in, so that a retrieval runs beside the searches.
        slowServer = std::make_unique<TestServer>();
        std::string links;
        for (int i = 0; i < 6; ++i) {
            std::string name = "/slow" + std::to_string(i) + ".html";
            links += "<a href=\"" + name.substr(1) + "\">next</a>";
            lurvik::test::Page page;
            page.body = "<html><title>Slow " + std::to_string(i) + "</title></html>";
            slowServer->addSlow(name, lurvik::test::formatReply(page), 8, std::chrono::milliseconds(100));
        }
        slowServer->addPage("/index.html",
                            "<html><title>Slow start</title><body>" + links + "</body></html>");
        QCOMPARE(slowServer->start(), 0);
    }
    void cleanupTestCase() {
        window.reset();
        app.reset();
        slowServer.reset();
        server.reset();
    }

    void twoWindowsSearchWhileARetrievalRuns() {
        QVERIFY(window->startSite(QString::fromStdString(slowServer->url("/index.html"))));
        QVERIFY(app->busyLoop->isBusy());

        window->runCommand(CmdFind);
        window->runCommand(CmdFind);
        QList<FindWindow*> windows = window->findCommands().findWindows();
        QCOMPARE(windows.size(), 2);
        FindWindow* links = windows[0];
        FindWindow* pages = windows[1];
        QCOMPARE(links->windowTitle(), QStringLiteral("Find: Objects"));
        setType(links, 2);
        setText(links, QStringLiteral("p1"), true, false, false);
        setType(pages, 0);
        setText(pages, QStringLiteral("harbour"), false, true, false);
        links->runCommand(FindCmdFindNow);
        pages->runCommand(FindCmdFindNow);
        QVERIFY(waitForRows(links));
        QVERIFY(waitForRows(pages));
        QVERIFY(app->busyLoop->isBusy()); // the retrieval still runs
        QStringList linkUrls = windowUrls(links);
        QStringList pageUrls = windowUrls(pages);
        // The command line runs once the retrieval has stopped: the thread sanitizer reports races
        // between fetch threads and the main thread when a process forks while they work.
        window->runCommand(CmdStop);
        QVERIFY(QTest::qWaitFor([this] { return !app->busyLoop->isBusy(); }, kSearchTimeoutMs));

        QVERIFY(linkUrls.size() > 10);
        QCOMPARE(linkUrls, cliUrls({"--type", "links", "--text", "p1", "--in", "url"}));
        QVERIFY(!pageUrls.isEmpty());
        QCOMPARE(pageUrls, cliUrls({"--type", "pages", "--text", "harbour", "--in", "title"}));
        QString found = QStringLiteral("%1 item(s) found").arg(linkUrls.size());
        QCOMPARE(links->countText(), found);
        QCOMPARE(links->statusText(), QStringLiteral("Search complete"));
        QCOMPARE(links->windowTitle(), QStringLiteral("Find: All links - [%1]").arg(found));

        // The window's file and the command line's are the same bytes.
        QCOMPARE(links->exportResultsHtml(path("window.htm")), 0);
        outputOf(QStringLiteral(LURVIK_CLI), {"find", mapName, "--type", "links", "--text", "p1", "--in",
                                              "url", "--html", path("cli.htm")});
        QCOMPARE(fileBytes(path("cli.htm")), fileBytes(path("window.htm")));

        // A sort carries over into the file.
        links->runCommand(FindCmdSortByUrl);
        QCOMPARE(links->exportResultsHtml(path("sorted.htm")), 0);
        QStringList sorted = windowUrls(links);
        QStringList expected = linkUrls;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });
        QCOMPARE(sorted, expected);
        QList<QByteArray> lines = fileBytes(path("sorted.htm")).split('\n');
        QVERIFY(lines.value(2).startsWith("<LI><A HREF=" + sorted.first().toUtf8() + ">"));

        // The results print as a link summary headed "Find Results", the window held while it runs.
        QVERIFY(links->action(FindCmdPrint)->isEnabled());
        PrintJob* job =
            window->printer().printFindResults(*links->results(), links, pdfPrinter(path("results.pdf")));
        QVERIFY(job);
        QVERIFY(!links->isEnabled());
        bool printed = false;
        connect(job, &PrintJob::finished, [&printed](bool completed) { printed = completed; });
        QVERIFY(QTest::qWaitFor([&printed] { return printed; }, kSearchTimeoutMs));
        QVERIFY(links->isEnabled());
        const QString text = outputOf(QStringLiteral("pdftotext"), {path("results.pdf"), "-"});
        QVERIFY(text.contains(QStringLiteral("Find Results")));
        QVERIFY(text.contains(sorted.first()));

        // A click on a row offers its address to copy; focus elsewhere takes the offer back.
        QVERIFY(!links->action(FindCmdCopyLinkPath)->isEnabled());
        QTreeView* list = links->resultsView();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(links->results()->index(0, 0)).center());
        QVERIFY(links->action(FindCmdCopyLinkPath)->isEnabled());
        links->runCommand(FindCmdCopyLinkPath);
        QCOMPARE(QGuiApplication::clipboard()->text(), sorted.first());
        links->runCommand(FindCmdList);
        QVERIFY(!list->isVisible());
        links->runCommand(FindCmdDetail);
        QVERIFY(list->isVisible());

        // Jump to original selects the result's page in the site tree and gets out of the way.
        pages->resultsView()->setCurrentIndex(pages->results()->index(1, 0));
        pages->jumpToRecord();
        QCOMPARE(QString::fromStdString(window->selectedItem()->node->url.text()), pageUrls[1]);
        QVERIFY(QTest::qWaitFor([pages] { return pages->isMinimized(); }));
        pages->showNormal();

        // New Search asks first: Cancel keeps everything, OK clears criteria and results.
        answerNext<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Cancel)->click(); });
        QVERIFY(!pages->newSearch());
        QCOMPARE(pages->results()->rowCount(), pageUrls.size());
        answerNext<QMessageBox>([](QMessageBox* box) {
            QCOMPARE(box->text(), QStringLiteral("This will clear your current search."));
            box->button(QMessageBox::Ok)->click();
        });
        QVERIFY(pages->newSearch());
        QCOMPARE(pages->results()->rowCount(), 0);
        QVERIFY(!pages->resultsView());
        QCOMPARE(pages->windowTitle(), QStringLiteral("Find: Objects"));
        QCOMPARE(control<QComboBox>(pages, "searchText")->currentText(), QString());
        QVERIFY(!pages->action(FindCmdSaveHtml)->isEnabled());
        // The history keeps what was searched, most recent first.
        QCOMPARE(control<QComboBox>(pages, "searchText")->itemText(0), QStringLiteral("harbour"));

        links->close();
        pages->close();
        QVERIFY(QTest::qWaitFor([this] { return window->findCommands().findWindows().isEmpty(); }));
    }

    // Every criterion set through the tabs goes into a file, back into another window and into
    // the command line, and comes out the same.
    void criteriaRoundTripThroughFiles() {
        FindWindow* first = window->findCommands().openFindWindow();
        setType(first, 0);
        setText(first, QStringLiteral("alpha \"beta gamma\""), true, true, true);
        typeValue(first, "resultLimit", QStringLiteral("25"));
        for (const char* name : {"noDuplicates", "matchWholeWord", "matchCase"})
            control<QCheckBox>(first, name)->setChecked(true);
        control<QRadioButton>(first, "allWords")->setChecked(true);
        const char* values[5][2] = {{"sizeValue", "sizeOp"},
                                    {"linksValue", "linksOp"},
                                    {"childrenValue", "childrenOp"},
                                    {"parentsValue", "parentsOp"},
                                    {"externalValue", "externalOp"}};
        const char* typed[5] = {"10", "5", "1", "50", "100"};
        for (int i = 0; i < 5; ++i) {
            typeValue(first, values[i][0], QString::fromLatin1(typed[i]));
            QVERIFY(control<QComboBox>(first, values[i][1])->isEnabled());
            control<QComboBox>(first, values[i][1])->setCurrentIndex(i + 1);
        }
        ContentTypeList* content = first->tabs()->contentList();
        content->stepState(0); // 2 to 1
        content->stepState(1); // 2 to 1
        content->stepState(1); // 1 to 0
        content->setState(content->topLevelItemCount() - 1, 1);
        control<QCheckBox>(first, "rated")->setChecked(true);
        control<QRadioButton>(first, "ratedYes")->setChecked(true);
        control<QCheckBox>(first, "violating")->setChecked(true);
        control<QLineEdit>(first, "referenceURL")->setText(QStringLiteral("http://site.test/x.html"));
        QCOMPARE(first->saveCriteria(path("first.ifc"), "Ann", "Harbour pages"), 0);

        FindCriteria saved;
        saved.setFileName(Str(path("first.ifc").toStdString()));
        QCOMPARE(saved.load(), 0);
        QCOMPARE(saved.searchText.str(), std::string("alpha \"beta gamma\""));
        QCOMPARE(saved.lookInURL + saved.lookInTitle + saved.lookInBody, 3);
        QCOMPARE(saved.matchAllWords + saved.matchCase + saved.matchWholeWord + saved.noDuplicates, 4);
        QCOMPARE(saved.resultLimit, 25);
        QCOMPARE(saved.sizeValue, 10);
        QCOMPARE(saved.sizeOp, COMPARE_LESS);
        QCOMPARE(saved.externalValue, 100);
        QCOMPARE(saved.externalOp, COMPARE_NOT_EQUAL);
        QCOMPARE(*saved.contentTypeStates.get(0), int(CONTENT_INCLUDE));
        QCOMPARE(*saved.contentTypeStates.get(1), int(CONTENT_EXCLUDE));
        QCOMPARE(*saved.contentTypeStates.get(2), int(CONTENT_EITHER));
        QCOMPARE(saved.ratedEnabled + saved.ratedWanted + saved.violatingEnabled, 3);
        QCOMPARE(saved.violatingWanted, 0);
        QCOMPARE(saved.referenceURL.str(), std::string("http://site.test/x.html"));
        QCOMPARE(saved.author.str(), std::string("Ann"));

        FindWindow* second = window->findCommands().openFindWindow();
        QCOMPARE(second->openCriteria(path("missing.ifc")), 1);
        QCOMPARE(second->openCriteria(path("first.ifc")), 0);
        QVERIFY(control<QComboBox>(second, "sizeOp")->isEnabled());
        QCOMPARE(second->saveCriteria(path("second.ifc"), "Ann", "Harbour pages"), 0);
        QByteArray expected = criteriaWithoutTime(path("first.ifc"));
        QVERIFY(!expected.isEmpty());
        QCOMPARE(criteriaWithoutTime(path("second.ifc")), expected);

        outputOf(QStringLiteral(LURVIK_CLI),
                 {"find", mapName, "--criteria", path("first.ifc"), "--save-criteria", path("cli.ifc"),
                  "--author", "Ann", "--description", "Harbour pages"});
        QCOMPARE(criteriaWithoutTime(path("cli.ifc")), expected);
        first->close();
        second->close();

        // The save dialog names the file as typed, adding ".ifc" unless the name ends in it exactly,
        // and refuses to go on without a name.
        QCOMPARE(SaveCriteriaDialog::withExtension("crit"), QStringLiteral("crit.ifc"));
        QCOMPARE(SaveCriteriaDialog::withExtension("crit.ifc"), QStringLiteral("crit.ifc"));
        QCOMPARE(SaveCriteriaDialog::withExtension("crit.IFC"), QStringLiteral("crit.IFC.ifc"));
        SaveCriteriaDialog dialog;
        QCOMPARE(dialog.descriptionBox()->text(), QStringLiteral("Lurvik Find Criteria"));
        QString caption, text;
        lurvik::test::recordNextMessageBox(caption, text);
        dialog.create();
        QCOMPARE(caption, QStringLiteral("Error in filename"));
        QCOMPARE(text, QStringLiteral("You must enter a filename"));
        QCOMPARE(dialog.result(), 0);
        dialog.fileNameBox()->setText(path("typed"));
        dialog.create();
        QCOMPARE(dialog.fileName(), path("typed.ifc"));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void controlsFollowTheirRules() {
        FindWindow* find = window->findCommands().openFindWindow();
        auto enabled = [find](const char* name) { return find->findChild<QWidget*>(name)->isEnabled(); };
        control<QCheckBox>(find, "lookInBody")->setChecked(true);
        control<QLineEdit>(find, "referenceURL")->setText(QStringLiteral("http://x/"));
        find->tabs()->contentList()->setState(0, CONTENT_INCLUDE);
        control<QCheckBox>(find, "rated")->setChecked(true);
        QVERIFY(enabled("ratedYes"));
        setType(find, 5); // Images
        for (const char* name :
             {"lookInBody", "referenceURL", "contentTypes", "rated", "ratedYes", "violating"})
            QVERIFY2(!enabled(name), name);
        QVERIFY(!control<QCheckBox>(find, "lookInBody")->isChecked());
        QCOMPARE(control<QLineEdit>(find, "referenceURL")->text(), QString());
        QCOMPARE(find->tabs()->contentList()->state(0), int(CONTENT_EITHER));
        setType(find, 0);
        for (const char* name : {"lookInBody", "referenceURL", "contentTypes", "rated", "ratedYes"})
            QVERIFY2(enabled(name), name);

        // No place to look: the search text is off.
        setText(find, QString(), false, false, false);
        QVERIFY(!enabled("searchText"));
        control<QCheckBox>(find, "lookInURL")->setChecked(true);
        QVERIFY(enabled("searchText"));

        // 0 and text that is no number read as "All", which turns the operator off.
        for (const QString& text : {QStringLiteral("0"), QStringLiteral("many")}) {
            typeValue(find, "linksValue", QStringLiteral("5"));
            QVERIFY(enabled("linksOp"));
            typeValue(find, "linksValue", text);
            QCOMPARE(control<QComboBox>(find, "linksValue")->currentText(), QStringLiteral("All"));
            QVERIFY(!enabled("linksOp"));
        }
        // Double clicks step a content row 2, 1, 0, 2.
        ContentTypeList* content = find->tabs()->contentList();
        content->setState(3, CONTENT_EITHER);
        QStringList texts;
        for (int i = 0; i < 3; ++i) {
            content->stepState(3);
            texts << content->topLevelItem(3)->text(1);
        }
        QCOMPARE(texts, (QStringList{"Include pages with this link type", "Exclude pages with this link type",
                                     "Show pages regardless of this link type"}));
        QCOMPARE(content->topLevelItem(3)->text(0), QStringLiteral("News links"));
        find->close();
    }

    void wizardPathsBuildTheirCriteria() {
        using W = FindWizard;
        {
            // Pages, every question answered Yes.
            WizardWalk walk(app->engine, app->pool);
            walk.wizard->next();
            walk.wizard->next();
            walk.find<QComboBox>("pageText")->setEditText(QStringLiteral("harbour notes"));
            walk.find<QRadioButton>("pageWordsSecond")->setChecked(true);
            walk.wizard->next();
            walk.find<QCheckBox>("pageInURL")->setChecked(true);
            walk.wizard->next();
            walk.type("resultLimit", QStringLiteral("10"));
            walk.find<QCheckBox>("noDuplicates")->setChecked(true);
            walk.wizard->next();
            walk.type("sizeValue", QStringLiteral("5"));
            walk.find<QComboBox>("sizeOp")->setCurrentIndex(COMPARE_GREATER);
            QCOMPARE(walk.find<QComboBox>("sizeOp")->currentText(), QStringLiteral("greater than (>)"));
            walk.wizard->next();
            walk.find<ContentTypeList>("contentTypes")->stepState(1);
            QCOMPARE(walk.find<ContentTypeList>("contentTypes")->topLevelItem(1)->text(1),
                     QStringLiteral("Yes"));
            walk.wizard->next();
            walk.type("childrenValue", QStringLiteral("1"));
            walk.find<QComboBox>("childrenOp")->setCurrentIndex(COMPARE_GREATER_OR_EQUAL);
            walk.wizard->next();
            walk.find<QRadioButton>("ratingsFirst")->setChecked(true);
            walk.find<QRadioButton>("ratedFirst")->setChecked(true);
            walk.wizard->next();
            walk.find<QLineEdit>("referenceURL")->setText(QStringLiteral("http://x/"));
            walk.wizard->next();
            QCOMPARE(walk.wizard->currentId(), int(W::Finished));
            QCOMPARE(walk.wizard->windowTitle(), QStringLiteral("Find Wizard: Finished"));
            walk.wizard->back();
            QCOMPARE(walk.wizard->currentId(), int(W::Reference));
            walk.wizard->next();
            walk.wizard->accept();
            QVERIFY(walk.finished);
            QCOMPARE(walk.shown, (QList<int>{1, 2, 3, 4, 7, 8, 9, 10, 11, 12, 13, 12, 13}));
            const FindCriteria& c = walk.criteria;
            QCOMPARE(c.objectTypeIndex, 0);
            QCOMPARE(c.searchText.str(), std::string("harbour notes"));
            QCOMPARE(c.lookInURL + c.lookInTitle + c.lookInBody * 10, 2);
            QCOMPARE(c.matchAllWords + c.noDuplicates, 2);
            QCOMPARE(c.resultLimit, 10);
            QCOMPARE(c.sizeValue, 5);
            QCOMPARE(c.sizeOp, COMPARE_GREATER);
            QCOMPARE(c.linksValue, -1);
            QVERIFY(c.contentTypeNames.len() >= 9);
            QCOMPARE(*c.contentTypeStates.get(1), int(CONTENT_INCLUDE));
            QCOMPARE(c.childrenValue, 1);
            QCOMPARE(c.childrenOp, COMPARE_GREATER_OR_EQUAL);
            QCOMPARE(c.parentsValue, -1);
            QCOMPARE(c.ratedEnabled + c.ratedWanted + c.violatingEnabled, 3);
            QCOMPARE(c.violatingWanted, 0);
            QCOMPARE(c.referenceURL.str(), std::string("http://x/"));
            QVERIFY(walk.contentAnswered);
        }
        {
            // Pages, every question answered No: no text page, no limit, nothing in force.
            WizardWalk walk(app->engine, app->pool);
            walk.wizard->next();
            walk.wizard->next();
            walk.answerNo("page");
            walk.wizard->next();
            QCOMPARE(walk.wizard->currentId(), int(W::SizeAndLinks));
            walk.wizard->back();
            QCOMPARE(walk.wizard->currentId(), int(W::PageText));
            walk.wizard->next();
            for (const char* prefix : {"size", "connections", "ratings", "reference"}) {
                walk.answerNo(prefix);
                walk.wizard->next();
            }
            QCOMPARE(walk.wizard->currentId(), int(W::Finished));
            walk.wizard->accept();
            QCOMPARE(walk.shown, (QList<int>{1, 2, 3, 8, 3, 8, 10, 11, 12, 13}));
            const FindCriteria& c = walk.criteria;
            QCOMPARE(c.resultLimit, -1);
            QCOMPARE(c.lookInURL + c.lookInTitle + c.lookInBody + c.matchAllWords, 0);
            QCOMPARE(c.sizeValue + c.linksValue + c.childrenValue + c.parentsValue + c.externalValue, -5);
            QCOMPARE(c.contentTypeNames.len(), 1);
            QCOMPARE(c.contentTypeNames.get(0)->str(), std::string("Images"));
            QCOMPARE(c.ratedEnabled + c.violatingEnabled, 0);
            QVERIFY(c.referenceURL.isEmpty());
            QVERIFY(!walk.contentAnswered);
        }
        {
            // Links with a text: the link pages, the limit, then the end; Back returns to the limit.
            WizardWalk walk(app->engine, app->pool);
            walk.wizard->next();
            walk.find<QListWidget>("objectTypes")->setCurrentRow(OBJECT_ALL_LINKS);
            walk.wizard->next();
            walk.find<QComboBox>("linkText")->setEditText(QStringLiteral("p1"));
            walk.wizard->next();
            walk.find<QCheckBox>("linkInURL")->setChecked(true);
            walk.find<QCheckBox>("linkInTitle")->setChecked(false);
            walk.wizard->next();
            walk.wizard->next();
            QCOMPARE(walk.wizard->currentId(), int(W::Finished));
            walk.wizard->back();
            QCOMPARE(walk.wizard->currentId(), int(W::Limit));
            walk.wizard->next();
            walk.wizard->accept();
            QCOMPARE(walk.shown, (QList<int>{1, 2, 5, 6, 7, 13, 7, 13}));
            const FindCriteria& c = walk.criteria;
            QCOMPARE(c.objectTypeIndex, int(OBJECT_ALL_LINKS));
            QCOMPARE(c.objectTypeText.str(), std::string("All links"));
            QCOMPARE(c.lookInURL * 10 + c.lookInTitle + c.lookInBody, 10);
            QCOMPARE(c.contentTypeNames.len(), 1);
            // The text reached the history the Find Wizard keeps.
            SearchHistory history("FindWizardText");
            QCOMPARE(history.load(), 0);
            QCOMPARE(history.texts().front().str(), std::string("p1"));
        }
        {
            // A file type name is searched for by that name.
            WizardWalk walk(app->engine, app->pool);
            walk.wizard->next();
            auto* types = walk.find<QListWidget>("objectTypes");
            QVERIFY(types->count() > kFirstFileTypeIndex);
            types->setCurrentRow(kFirstFileTypeIndex);
            walk.wizard->next();
            walk.answerNo("link");
            walk.wizard->next();
            walk.wizard->accept();
            QCOMPARE(walk.criteria.objectTypeIndex, int(kFirstFileTypeIndex));
            QCOMPARE(QString::fromStdString(walk.criteria.objectTypeText.str()),
                     types->item(kFirstFileTypeIndex)->text());
        }

        // Images with no link text: straight to the end, and Finish searches at once in a new window
        // that finds every image, as the command line does.
        answerNext<FindWizard>([](FindWizard* wizard) {
            wizard->next();
            wizard->findChild<QListWidget*>("objectTypes")->setCurrentRow(OBJECT_IMAGES);
            wizard->next();
            wizard->findChild<QRadioButton*>("linkSecond")->setChecked(true);
            wizard->next();
            QCOMPARE(wizard->currentId(), int(FindWizard::Finished));
            wizard->accept();
        });
        window->runCommand(CmdFindWizard);
        QCOMPARE(window->findCommands().findWindows().size(), 1);
        FindWindow* images = window->findCommands().findWindows().front();
        QVERIFY(waitForRows(images));
        QStringList urls = windowUrls(images);
        QVERIFY(!urls.isEmpty());
        QCOMPARE(urls, cliUrls({"--type", "images"}));
        QCOMPARE(images->criteria().objectTypeIndex, int(OBJECT_IMAGES));
        images->close();
    }

    void goToPageWalksTitlesWithoutWrapping() {
        SiteTreeModel& model = *window->treeModel();
        QStringList all;
        shownTexts(model, {}, all);
        QStringList expected = all.filter(QStringLiteral("harbour notes"), Qt::CaseInsensitive);
        QVERIFY(expected.size() >= 3);

        window->selectItem(model.root());
        window->runCommand(CmdGoToPage);
        GoToPageDialog* dialog = window->findCommands().goToPageDialog();
        QVERIFY(dialog->isVisible());
        dialog->textBox()->setText(QStringLiteral("harbour notes"));
        QStringList seen;
        for (int i = 0; i < expected.size(); ++i) {
            emit dialog->nextPage();
            seen << model.itemText(window->selectedItem());
        }
        QCOMPARE(seen, expected);
        // The last match stays selected: no wrap round.
        SiteTreeModel::Item* last = window->selectedItem();
        QVERIFY(!window->findCommands().goToPage(QStringLiteral("harbour notes"), false, false, true));
        QCOMPARE(window->selectedItem(), last);
        dialog->setDown(false);
        emit dialog->nextPage();
        QCOMPARE(model.itemText(window->selectedItem()), expected[expected.size() - 2]);
        // Case and whole words count when asked for.
        QVERIFY(!window->findCommands().goToPage(QStringLiteral("harbour notes"), true, false, false));
        QVERIFY(window->findCommands().goToPage(QStringLiteral("Harbour notes"), true, false, false));
        QVERIFY(!window->findCommands().goToPage(QStringLiteral("Harbou"), false, true, false));
        dialog->close();
    }

    // Stop answers at once even while the search waits on a page that the network never sends.
    void stopIsPromptOnALargeMap() {
        TestServer stalled;
        QCOMPARE(stalled.start(), 0);
        stalled.addStalled("/big0.html");
        for (int i = 0; i < 50000; ++i) {
            auto node = std::make_unique<SiteNode>(URL(stalled.url("/big" + std::to_string(i) + ".html")));
            node->title = "Large page " + std::to_string(i);
            node->state = NODE_DONE;
            app->engine.adoptDoneNode(std::move(node));
        }
        FindWindow* find = window->findCommands().openFindWindow();
        setText(find, QString(), false, true, true);
        find->runCommand(FindCmdFindNow);
        QVERIFY(QTest::qWaitFor([&] { return stalled.requestCount("/big0.html") == 1; }, kSearchTimeoutMs));
        QVERIFY(find->isSearching());
        QElapsedTimer timer;
        timer.start();
        find->runCommand(FindCmdStop);
        qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed < 100 * kTimeScale, qPrintable(QStringLiteral("Stop took %1 ms").arg(elapsed)));
        QVERIFY(!find->isSearching());
        // Every page found before the stalled one stays, shown.
        QVERIFY(waitForRows(find));
        QVERIFY(find->results()->rowCount() > 0);
        QCOMPARE(find->countText(), QStringLiteral("%1 item(s) found").arg(find->results()->rowCount()));
        find->close();
    }
};

QObject* makeFindWindowTest() {
    return new FindWindowTest;
}

#include "FindWindowTest.moc"
