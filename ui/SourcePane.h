#pragma once

#include "core/URL.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace lurvik {

class Agent;
class AgentPool;
class SiteNode;

// The HTML Source view: the page's cached source, or, when the cache no longer holds it, a line
// that says so with a button that fetches the page again into the cache. A blank pane would
// leave the user guessing whether the page is empty.
class SourcePane : public QWidget {
    Q_OBJECT
public:
    explicit SourcePane(AgentPool& pool, QWidget* parent = nullptr);
    ~SourcePane() override;

    void showPage(const SiteNode& node, bool showTags);
    QPlainTextEdit* editor() const { return m_editor; }
    // Shown for a page the browser rendered: the document after its scripts ran instead of the
    // reply as served.
    QCheckBox* renderedSwitch() const { return m_rendered; }
    bool noticeShown() const;
    QPushButton* fetchButton() const { return m_fetch; }

signals:
    // The page is in the cache again; the owner shows it once more if it is still selected.
    void pageFetched();
    // The rendered document or the reply as served was chosen: the owner shows the page again.
    void renderedToggled();

private:
    void fetchAgain();
    void pollFetch();

    AgentPool& m_pool;
    QPlainTextEdit* m_editor = nullptr;
    QCheckBox* m_rendered = nullptr;
    QWidget* m_notice = nullptr;
    QLabel* m_noticeText = nullptr;
    QPushButton* m_fetch = nullptr;
    URL m_url;
    std::unique_ptr<Agent> m_agent;
    QTimer m_poll;
};

} // namespace lurvik
