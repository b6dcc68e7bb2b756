#pragma once

#include "LinkListModel.h"

#include <QWidget>

class QComboBox;
class QLineEdit;

namespace lurvik {

// The box above the link list that narrows it: text found in a link's name or address, and which
// statuses to show. A page of hundreds of links otherwise hides its few broken ones.
class LinkFilterBar : public QWidget {
    Q_OBJECT
public:
    LinkFilterBar(LinkListModel& links, QWidget* parent = nullptr);

    QLineEdit* textBox() const { return m_text; }
    QComboBox* statusList() const { return m_status; }

private:
    void apply();

    LinkListModel& m_links;
    QLineEdit* m_text;
    QComboBox* m_status;
};

} // namespace lurvik
