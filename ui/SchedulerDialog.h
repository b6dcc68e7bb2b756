#pragma once

#include "ScheduledSites.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace lurvik {

// "Scheduler": the sites to retrieve at a time of day. The list is edited here and becomes the
// schedule only on OK.
class SchedulerDialog : public QDialog {
    Q_OBJECT
public:
    SchedulerDialog(ScheduledSites& sites, QWidget* owner);

    QTreeWidget* list() const { return m_list; }
    QPushButton* removeButton() const { return m_remove; }
    QPushButton* editButton() const { return m_edit; }
    // Adds a row at the top, as every new or listed entry is.
    void insertScheduleRow(const QString& text, std::time_t dueTime, bool compare = false);
    void editSelected();
    void removeSelected();
    // The rows become the schedule, in the order they show.
    void accept() override;

private:
    void updateButtons();

    ScheduledSites& m_sites;
    QTreeWidget* m_list;
    QPushButton* m_remove;
    QPushButton* m_edit;
};

// "Edit Scheduled Site" (or "Add Scheduled Site"): an address and a time on a 12-hour clock.
class ScheduleEditDialog : public QDialog {
    Q_OBJECT
public:
    // dueTime 0: a new entry.
    ScheduleEditDialog(const QString& text, std::time_t dueTime, bool compare, QWidget* owner);

    QLineEdit* siteEdit() const { return m_site; }
    QLineEdit* hourEdit() const { return m_hour; }
    QLineEdit* minuteEdit() const { return m_minute; }
    QComboBox* halfBox() const { return m_half; }
    QPushButton* okButton() const { return m_ok; }
    QCheckBox* compareBox() const { return m_compare; }
    // The moment the boxes name, from now.
    std::time_t dueTime(std::time_t now) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_site;
    QLineEdit* m_hour;
    QLineEdit* m_minute;
    QComboBox* m_half;
    QCheckBox* m_compare;
    QPushButton* m_ok;
};

} // namespace lurvik
