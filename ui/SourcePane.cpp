#include "SourcePane.h"

#include "HtmlHighlighter.h"
#include "SourceText.h"
#include "core/PageCache.h"
#include "retrieval/Agent.h"
#include "retrieval/HttpReply.h"
#include "retrieval/PageRenderer.h"
#include "retrieval/SiteNode.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lurvik {

namespace {
constexpr int kPollMs = 50;
const char* const kNotCached = "The page cache does not hold this page's source.";
} // namespace

SourcePane::SourcePane(AgentPool& pool, QWidget* parent) : QWidget(parent), m_pool(pool) {
    m_editor = new QPlainTextEdit(this);
    m_editor->setObjectName(QStringLiteral("htmlViewer"));
    m_editor->setReadOnly(true);
    m_editor->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_editor->setContextMenuPolicy(Qt::CustomContextMenu);
    QPalette palette = m_editor->palette();
    palette.setColor(QPalette::Base, QColor(192, 192, 192));
    m_editor->setPalette(palette);
    new HtmlHighlighter(m_editor->document());

    m_notice = new QWidget(this);
    m_noticeText = new QLabel(m_notice);
    m_fetch = new QPushButton(tr("Fetch A&gain"), m_notice);
    auto* noticeLayout = new QHBoxLayout(m_notice);
    noticeLayout->addWidget(m_noticeText, 1);
    noticeLayout->addWidget(m_fetch);
    m_notice->hide();
    connect(m_fetch, &QPushButton::clicked, this, &SourcePane::fetchAgain);

    m_rendered = new QCheckBox(tr("&Rendered: the page after its scripts ran"), this);
    m_rendered->setObjectName(QStringLiteral("renderedSource"));
    m_rendered->hide();
    connect(m_rendered, &QCheckBox::toggled, this, &SourcePane::renderedToggled);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_notice);
    layout->addWidget(m_rendered);
    layout->addWidget(m_editor, 1);

    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &SourcePane::pollFetch);
}

SourcePane::~SourcePane() = default;

void SourcePane::showPage(const SiteNode& node, bool showTags) {
    Str reply;
    bool cached = pageText(node, reply, true, true) == 0;
    Str rendered;
    const bool isRendered = node.renderedLinks && CacheLoadPage(renderedPageKey(node.url), rendered) == 0;
    m_rendered->setVisible(isRendered);
    if (isRendered && m_rendered->isChecked())
        m_editor->setPlainText(QString::fromUtf8(rendered.text(), rendered.len()));
    else
        m_editor->setPlainText(cached ? loadSourceText(node, showTags) : QString());
    if (m_agent && m_url.text() != node.url.text())
        m_agent.reset();
    m_url = node.url;
    m_notice->setVisible(!cached);
    if (!cached && !m_agent) {
        m_noticeText->setText(tr(kNotCached));
        m_fetch->setEnabled(true);
    }
}

bool SourcePane::noticeShown() const {
    return !m_notice->isHidden();
}

void SourcePane::fetchAgain() {
    m_agent = std::make_unique<Agent>(m_pool);
    if (m_agent->startFetchThread(m_url, nullptr) != 0) {
        m_noticeText->setText(
            tr("The page cannot be fetched: %1").arg(QString::fromStdString(m_agent->errorText.str())));
        m_agent.reset();
        return;
    }
    m_fetch->setEnabled(false);
    m_noticeText->setText(tr("Fetching %1 ...").arg(QString::fromStdString(m_url.text())));
    m_poll.start();
}

void SourcePane::pollFetch() {
    if (!m_agent) {
        m_poll.stop();
        return;
    }
    if (m_agent->state.load() == AGENT_RUNNING)
        return;
    m_poll.stop();
    std::unique_ptr<Agent> agent = std::move(m_agent);
    m_fetch->setEnabled(true);
    if (agent->state.load() != AGENT_FINISHED || (agent->status != 200 && agent->status != 0)) {
        QString why = agent->errorText.isEmpty() ? tr("the server answered %1").arg(agent->status)
                                                 : QString::fromStdString(agent->errorText.str());
        m_noticeText->setText(tr("The page could not be fetched again: %1").arg(why));
        return;
    }
    Str date;
    headerValue("Last-Modified", agent->response, date);
    CacheSavePage(m_url, date, agent->response);
    emit pageFetched();
}

} // namespace lurvik
