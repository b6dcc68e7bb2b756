#include "OptionsSheet.h"

#include "Application.h"
#include "FontsPage.h"
#include "HelpWindow.h"
#include "Icons.h"
#include "RatingsPage.h"
#include "platform/gui/WaitCursor.h"
#include "core/PageCache.h"
#include "platform/gui/QtText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace lurvik {

namespace {

constexpr const char* kDefaultAgent = "Lurvik/1.0";
constexpr const char* kUseDefault = "Use Default";
// The cache sizes the slider offers, in megabytes: large enough that a real site's pages stay.
constexpr int kCacheMin = 16;
constexpr int kCacheMax = 4096;

} // namespace

int& OptionsSheet::startPage() {
    static int page = 0;
    return page;
}

OptionsSheet::OptionsSheet(Application& app, QWidget* owner)
    : PropertySheet(QStringLiteral("Options"), owner), m_app(app) {
    // The help topics of the seven pages follow one another from the General page's.
    constexpr int kHelpGeneral = 4001;
    addPage(
        QStringLiteral("General"), [this] { return buildGeneral(); }, [this] { applyGeneral(); },
        kHelpGeneral);
    addPage(
        QStringLiteral("Network"), [this] { return buildNetwork(); }, [this] { applyNetwork(); },
        kHelpGeneral + 1);
    addPage(
        QStringLiteral("Cache"), [this] { return buildCache(); }, [this] { applyCache(); }, kHelpGeneral + 2);
    addPage(
        QStringLiteral("Advanced"), [this] { return buildAdvanced(); }, [this] { applyAdvanced(); },
        kHelpGeneral + 3);
    addPage(
        QStringLiteral("Fonts"), [this] { return m_fonts = new FontsPage(m_app.settings, *this); },
        [this] {
            m_fonts->apply();
            pushToProgram();
            emit viewsChanged();
        },
        kHelpGeneral + 4);
    addPage(
        QStringLiteral("Browser"), [this] { return buildBrowser(); }, [this] { applyBrowser(); },
        kHelpGeneral + 5);
    addPage(
        QStringLiteral("Ratings"),
        [this] { return m_ratings = new RatingsPage(m_app.ratings, m_app.settings, *this); },
        [this] {
            m_ratings->apply();
            emit viewsChanged();
        },
        kHelpGeneral + 6);
    setHelp([this](int context) { HelpWindow::showTopic(context, this); });
    // Wide enough that all seven tabs show at once instead of scrolling.
    resize(640, 460);
    setStartPage(std::clamp(startPage(), 0, tabs()->count() - 1));
    connect(tabs(), &QTabWidget::currentChanged, this, [](int index) { startPage() = index; });
}

QCheckBox* OptionsSheet::check(const char* name) const {
    return findChild<QCheckBox*>(QString::fromLatin1(name));
}

QSpinBox* OptionsSheet::spin(const char* name) const {
    return findChild<QSpinBox*>(QString::fromLatin1(name));
}

QCheckBox* OptionsSheet::addCheck(QWidget* page, const char* name, const QString& text, bool checked) {
    auto* box = new QCheckBox(text, page);
    box->setObjectName(QString::fromLatin1(name));
    box->setChecked(checked);
    connect(box, &QCheckBox::toggled, this, &PropertySheet::setChanged);
    return box;
}

QSpinBox* OptionsSheet::addSpin(QWidget* page, const char* name, int low, int high, int value) {
    auto* box = new QSpinBox(page);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(low, high);
    // A stored value out of range, written by hand, shows as the nearest bound.
    box->setValue(value);
    connect(box, &QSpinBox::valueChanged, this, &PropertySheet::setChanged);
    return box;
}

QWidget* OptionsSheet::buildGeneral() {
    const Settings& s = m_app.settings;
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(
        addCheck(page, "autoExpand", QStringLiteral("Automatically &expand tree"), s.autoExpand == 1));
    layout->addWidget(
        addCheck(page, "dupChildren", QStringLiteral("&Do not show duplicate children"), s.dupChildren == 1));
    layout->addWidget(addCheck(page, "autoLaunch", QStringLiteral("&Launch Web Browser after Save HTML"),
                               s.autoLaunch == 1));
    layout->addWidget(addCheck(page, "doneBeep", QStringLiteral("&Play sound when lurviking is complete"),
                               s.doneBeep == 1));
    layout->addStretch();
    return page;
}

void OptionsSheet::applyGeneral() {
    Settings& s = m_app.settings;
    s.autoExpand = check("autoExpand")->isChecked();
    s.dupChildren = check("dupChildren")->isChecked();
    s.autoLaunch = check("autoLaunch")->isChecked();
    s.doneBeep = check("doneBeep")->isChecked();
    pushToProgram();
    emit viewsChanged();
}

QWidget* OptionsSheet::buildNetwork() {
    const Settings& s = m_app.settings;
    auto* page = new QWidget(this);
    auto* form = new QFormLayout(page);
    form->addRow(QStringLiteral("&Foreground agents:"), addSpin(page, "foreground", 0, 9, s.numFGAgents));
    form->addRow(QStringLiteral("&Background agents:"), addSpin(page, "background", 0, 9, s.numBGAgents));
    m_limit = new QComboBox(page);
    m_limit->addItems({QStringLiteral("Entire Domain"), QStringLiteral("Current Host"),
                       QStringLiteral("Current Path"), QStringLiteral("No Limit")});
    m_limit->setCurrentIndex(std::clamp(s.numDomains, 0, 3));
    connect(m_limit, &QComboBox::currentIndexChanged, this, &PropertySheet::setChanged);
    form->addRow(QStringLiteral("&Limit lurviking to:"), m_limit);
    QCheckBox* levels =
        addCheck(page, "limitLevels", QStringLiteral("Limit &number of levels to:"), s.limitLevels == 1);
    QSpinBox* numLevels = addSpin(page, "numLevels", 1, 9, s.numLevels);
    QCheckBox* pages =
        addCheck(page, "limitPages", QStringLiteral("Li&mit number of pages to:"), s.limitPages == 1);
    QSpinBox* numPages = addSpin(page, "numPages", 1, 9999, s.numPages);
    numLevels->setEnabled(levels->isChecked());
    numPages->setEnabled(pages->isChecked());
    connect(levels, &QCheckBox::toggled, numLevels, &QWidget::setEnabled);
    connect(pages, &QCheckBox::toggled, numPages, &QWidget::setEnabled);
    form->addRow(levels, numLevels);
    form->addRow(pages, numPages);
    return page;
}

void OptionsSheet::applyNetwork() {
    Settings& s = m_app.settings;
    s.numDomains = m_limit->currentIndex();
    s.numFGAgents = spin("foreground")->value();
    s.numBGAgents = spin("background")->value();
    s.numLevels = spin("numLevels")->value();
    s.numPages = spin("numPages")->value();
    s.limitLevels = check("limitLevels")->isChecked();
    s.limitPages = check("limitPages")->isChecked();
    pushToProgram();
}

QWidget* OptionsSheet::buildCache() {
    const Settings& s = m_app.settings;
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    m_cacheDir = new QLineEdit(fromStr(s.cacheDir), page);
    m_cacheDir->setMaxLength(230);
    connect(m_cacheDir, &QLineEdit::textChanged, this, &PropertySheet::setChanged);
    auto* dirLabel = new QLabel(QStringLiteral("Cache &Directory:"), page);
    dirLabel->setBuddy(m_cacheDir);
    m_cacheSize = new QSlider(Qt::Horizontal, page);
    m_cacheSize->setRange(kCacheMin, kCacheMax);
    m_cacheSize->setValue(s.cacheSize);
    m_cacheLabel = new QLabel(QStringLiteral("%1 MBs").arg(m_cacheSize->value()), page);
    // Moving the slider only says where it stands; OK still applies it.
    connect(m_cacheSize, &QSlider::valueChanged, m_cacheLabel,
            [this](int value) { m_cacheLabel->setText(QStringLiteral("%1 MBs").arg(value)); });
    auto* clear = new QPushButton(QStringLiteral("&Clear Now"), page);
    connect(clear, &QPushButton::clicked, this, [this] {
        if (QMessageBox::question(
                this, QStringLiteral("Clear Cache"),
                QStringLiteral("This will remove all files in the cache\nAre you sure?\n")) ==
            QMessageBox::Yes) {
            withWaitCursor([] { CacheClear(); });
        }
    });
    auto* size = new QHBoxLayout;
    size->addWidget(m_cacheSize);
    size->addWidget(m_cacheLabel);
    size->addWidget(clear);
    layout->addWidget(dirLabel);
    layout->addWidget(m_cacheDir);
    layout->addLayout(size);
    layout->addWidget(addCheck(page, "persistentCache", QStringLiteral("&Keep cache when exiting Lurvik"),
                               s.persistentCache == 1));
    layout->addWidget(addCheck(page, "smartCache", QStringLiteral("&Enable SmartCache"), s.smartCache == 1));
    layout->addStretch();
    return page;
}

void OptionsSheet::applyCache() {
    Settings& s = m_app.settings;
    s.persistentCache = check("persistentCache")->isChecked();
    s.cacheSize = m_cacheSize->value();
    s.smartCache = check("smartCache")->isChecked();
    QString dir = m_cacheDir->text().left(249);
    if (dir.compare(fromStr(s.cacheDir), Qt::CaseInsensitive) != 0 && !dir.isEmpty()) {
        if (!dir.endsWith(QLatin1Char('/')))
            dir += QLatin1Char('/');
        if (!QDir(dir).exists()) {
            QMessageBox::information(
                nullptr, QStringLiteral("Invalid Cache Directory"),
                QStringLiteral("Directory doesn't exist. Lurvik will create it for you."));
            QDir().mkpath(dir);
        }
    }
    s.cacheDir = toStr(dir);
    pushToProgram();
}

QWidget* OptionsSheet::buildAdvanced() {
    const Settings& s = m_app.settings;
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    QCheckBox* useProxy = addCheck(
        page, "useProxy", QStringLiteral("Use &HTTP proxy server to access the Internet"), s.useProxy == 1);
    m_proxyServer = new QLineEdit(fromStr(s.proxyServer), page);
    m_proxyServer->setMaxLength(126);
    m_proxyPort = addSpin(page, "proxyPort", 1, 65535, s.proxyPort == 0 ? 80 : s.proxyPort);
    connect(m_proxyServer, &QLineEdit::textChanged, this, &PropertySheet::setChanged);
    auto* proxy = new QFormLayout;
    proxy->addRow(QStringLiteral("&Server:"), m_proxyServer);
    proxy->addRow(QStringLiteral("&Port:"), m_proxyPort);
    auto enableProxy = [this](bool on) {
        m_proxyServer->setEnabled(on);
        m_proxyPort->setEnabled(on);
    };
    enableProxy(useProxy->isChecked());
    connect(useProxy, &QCheckBox::toggled, this, enableProxy);
    QCheckBox* sendAgent = addCheck(page, "useUserAgent", QStringLiteral("Send &User-Agent in HTTP header"),
                                    s.useUserAgent != 0);
    m_userAgent = new QLineEdit(fromStr(s.userAgent), page);
    m_userAgent->setMaxLength(50);
    connect(m_userAgent, &QLineEdit::textChanged, this, &PropertySheet::setChanged);
    auto* defaultAgent = new QPushButton(QStringLiteral("&Default"), page);
    connect(defaultAgent, &QPushButton::clicked, this,
            [this] { m_userAgent->setText(QString::fromLatin1(kDefaultAgent)); });
    auto enableAgent = [this, defaultAgent](bool on) {
        m_userAgent->setEnabled(on);
        defaultAgent->setEnabled(on);
    };
    enableAgent(sendAgent->isChecked());
    connect(sendAgent, &QCheckBox::toggled, this, enableAgent);
    auto* agent = new QHBoxLayout;
    auto* agentLabel = new QLabel(QStringLiteral("User-Agen&t:"), page);
    agentLabel->setBuddy(m_userAgent);
    agent->addWidget(agentLabel);
    agent->addWidget(m_userAgent);
    agent->addWidget(defaultAgent);
    layout->addWidget(useProxy);
    layout->addLayout(proxy);
    layout->addWidget(addCheck(page, "useUserPass", QStringLiteral("&Ask for UserName/Password if necessary"),
                               s.useUserPass == 1));
    layout->addWidget(sendAgent);
    layout->addLayout(agent);
    layout->addWidget(addCheck(page, "obeySRE", QStringLiteral("Obey SRE standards for browsing websites"),
                               s.obeySRE == 1));
    layout->addWidget(buildConnections(page));
    // Saved where the next start finds it when the program or the machine stops mid-retrieval.
    QSpinBox* checkpoint = addSpin(page, "checkpointSeconds", 0, 86400, s.checkpointSeconds);
    checkpoint->setSuffix(QStringLiteral(" s"));
    checkpoint->setSpecialValueText(QStringLiteral("Never"));
    auto* checkpointRow = new QFormLayout;
    checkpointRow->addRow(QStringLiteral("Sa&ve an unfinished retrieval every:"), checkpoint);
    layout->addLayout(checkpointRow);
    layout->addStretch();
    return page;
}

// How the program treats servers today: the same settings lurvik-cli takes as options, so that a
// desktop user can be as polite to a site, or as patient with it, as a command line.
QGroupBox* OptionsSheet::buildConnections(QWidget* page) {
    const Settings& s = m_app.settings;
    auto* group = new QGroupBox(QStringLiteral("Connections"), page);
    auto* form = new QFormLayout(group);
    form->addRow(addCheck(group, "classicHttp", QStringLiteral("Send the &original HTTP/1.0 requests"),
                          s.classicHttp == 1));
    form->addRow(addCheck(group, "useHttp2", QStringLiteral("Use HTTP/&2 with https: servers that offer it"),
                          s.useHttp2 == 1));
    form->addRow(QStringLiteral("Connections pe&r host:"),
                 addSpin(group, "hostConnections", 1, 64, s.maxHostConnections));
    QSpinBox* delay = addSpin(group, "hostDelay", 0, 600000, s.hostDelay);
    delay->setSuffix(QStringLiteral(" ms"));
    form->addRow(QStringLiteral("Pause betwee&n requests to a host:"), delay);
    QSpinBox* wait = addSpin(group, "retryWait", 0, 86400, s.maxRetryWait);
    wait->setSuffix(QStringLiteral(" s"));
    form->addRow(QStringLiteral("Wait for a &busy server at most:"), wait);
    QSpinBox* limit = addSpin(group, "pageTimeLimit", 0, 86400, s.pageTimeLimit);
    limit->setSuffix(QStringLiteral(" s"));
    limit->setSpecialValueText(QStringLiteral("No limit"));
    form->addRow(QStringLiteral("&Give a page up after:"), limit);
    form->addRow(addCheck(group, "checkLinks",
                          QStringLiteral("Check &images, downloads and other links that are not pages"),
                          s.checkLinks == 1));
    form->addRow(addCheck(group, "checkExternal",
                          QStringLiteral("Chec&k links outside the limits, once each"),
                          s.checkExternal == 1));
    form->addRow(
        addCheck(group, "renderPages",
                 QStringLiteral("R&ead pages after a browser ran their scripts (chromium-headless-shell)"),
                 s.renderPages == 1));
    QSpinBox* tabs = addSpin(group, "renderTabs", 0, 64, s.renderTabs);
    tabs->setSpecialValueText(QStringLiteral("One per core"));
    QSpinBox* settle = addSpin(group, "renderTimeout", 1, 600, s.renderTimeout);
    settle->setSuffix(QStringLiteral(" s"));
    auto* render = new QHBoxLayout;
    render->addWidget(tabs);
    render->addWidget(new QLabel(QStringLiteral("tabs; give a page's scripts up after"), group));
    render->addWidget(settle);
    form->addRow(QStringLiteral("Render in:"), render);
    m_caFile = new QLineEdit(fromStr(s.caFile), group);
    m_caFile->setPlaceholderText(QStringLiteral("Only the system's certificates"));
    connect(m_caFile, &QLineEdit::textChanged, this, &PropertySheet::setChanged);
    auto* browse = new QPushButton(QStringLiteral("Bro&wse..."), group);
    connect(browse, &QPushButton::clicked, this, [this] {
        QString file =
            QFileDialog::getOpenFileName(this, QStringLiteral("Trusted Certificates"), m_caFile->text(),
                                         QStringLiteral("Certificates (*.pem *.crt);;All files (*)"));
        if (!file.isEmpty())
            m_caFile->setText(file);
    });
    auto* ca = new QHBoxLayout;
    ca->addWidget(m_caFile);
    ca->addWidget(browse);
    auto* caLabel = new QLabel(QStringLiteral("Also trust certi&ficates in:"), group);
    caLabel->setBuddy(m_caFile);
    form->addRow(caLabel, ca);
    return group;
}

void OptionsSheet::applyAdvanced() {
    Settings& s = m_app.settings;
    s.useProxy = check("useProxy")->isChecked();
    if (s.useProxy) {
        QString server = m_proxyServer->text().left(126);
        if (server.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive))
            server = server.mid(7);
        s.proxyServer = toStr(server);
        s.proxyPort = m_proxyPort->value();
    }
    s.useUserPass = check("useUserPass")->isChecked();
    s.useUserAgent = check("useUserAgent")->isChecked();
    QString agent = m_userAgent->text().left(53);
    s.userAgent = toStr(agent.isEmpty() ? QString::fromLatin1(kDefaultAgent) : agent);
    s.obeySRE = check("obeySRE")->isChecked();
    s.classicHttp = check("classicHttp")->isChecked();
    s.useHttp2 = check("useHttp2")->isChecked() ? 1 : 0;
    s.checkExternal = check("checkExternal")->isChecked() ? 1 : 0;
    s.checkLinks = check("checkLinks")->isChecked() ? 1 : 0;
    s.maxHostConnections = spin("hostConnections")->value();
    s.hostDelay = spin("hostDelay")->value();
    s.maxRetryWait = spin("retryWait")->value();
    s.pageTimeLimit = spin("pageTimeLimit")->value();
    s.checkpointSeconds = spin("checkpointSeconds")->value();
    s.caFile = toStr(m_caFile->text().trimmed());
    s.renderPages = check("renderPages")->isChecked() ? 1 : 0;
    s.renderTabs = spin("renderTabs")->value();
    s.renderTimeout = spin("renderTimeout")->value();
    pushToProgram();
}

QWidget* OptionsSheet::buildBrowser() {
    const Settings& s = m_app.settings;
    auto* page = new QWidget(this);
    m_browsers = new QTreeWidget(page);
    m_browsers->setRootIsDecorated(false);
    m_browsers->setHeaderLabels({QStringLiteral("Browser"), QStringLiteral("Application")});
    auto* row =
        new QTreeWidgetItem(m_browsers, {QStringLiteral("Web Browser"), s.defaultWebBrowser.isEmpty()
                                                                            ? QString::fromLatin1(kUseDefault)
                                                                            : fromStr(s.defaultWebBrowser)});
    row->setIcon(0, Icons::linkIcon(1));
    m_browsers->resizeColumnToContents(0);
    m_browsers->setColumnWidth(0, m_browsers->columnWidth(0) + 16);
    auto* edit = new QPushButton(QStringLiteral("&Edit..."), page);
    auto* byDefault = new QPushButton(QStringLiteral("&Default"), page);
    auto* reset = new QPushButton(QStringLiteral("&Reset All"), page);
    reset->setObjectName(QStringLiteral("resetBrowsers"));
    edit->setEnabled(false);
    byDefault->setEnabled(false);
    connect(m_browsers, &QTreeWidget::itemSelectionChanged, this, [this, edit, byDefault] {
        bool selected = !m_browsers->selectedItems().isEmpty();
        edit->setEnabled(selected);
        byDefault->setEnabled(selected);
    });
    connect(edit, &QPushButton::clicked, this, [this] {
        QTreeWidgetItem* item = m_browsers->selectedItems().value(0);
        QString program = QFileDialog::getOpenFileName(this, QStringLiteral("Open Custom Browser"));
        if (item && !program.isEmpty()) {
            item->setText(1, program);
            setChanged();
        }
        m_browsers->setFocus();
    });
    connect(byDefault, &QPushButton::clicked, this, [this] {
        if (QTreeWidgetItem* item = m_browsers->selectedItems().value(0)) {
            item->setText(1, QString::fromLatin1(kUseDefault));
            setChanged();
        }
    });
    connect(reset, &QPushButton::clicked, this, [this] {
        for (int i = 0; i < m_browsers->topLevelItemCount(); ++i)
            m_browsers->topLevelItem(i)->setText(1, QString::fromLatin1(kUseDefault));
        setChanged();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(edit);
    buttons->addWidget(byDefault);
    buttons->addWidget(reset);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(m_browsers);
    layout->addLayout(buttons);
    return page;
}

void OptionsSheet::applyBrowser() {
    QString program = m_browsers->topLevelItem(0)->text(1).left(249);
    if (program.isEmpty())
        return;
    m_app.settings.defaultWebBrowser = program.startsWith(QStringLiteral("Use Def")) ? Str() : toStr(program);
    pushToProgram();
}

void OptionsSheet::pushToProgram() {
    (void)m_app.settings.saveSettings();
    // Without a restart: a changed agent count reaches a running retrieval, a smaller cache
    // evicts at once, new limits apply to the links found from now on.
    m_app.settings.applyToEngine(m_app.engine);
    m_app.settings.applyToPool(m_app.pool);
    m_app.settings.applyToCache();
    if (const RenderError error = m_app.applyRendering(); error != RenderError::None)
        QMessageBox::warning(
            this, QStringLiteral("Lurvik Error"),
            error == RenderError::NotInstalled
                ? QStringLiteral("Rendering needs chromium-headless-shell. Pages are read as served.")
                : QStringLiteral("The browser for rendering did not start. Pages are read as served."));
}

} // namespace lurvik
