#pragma once

#include "SiteTreeModel.h"
#include "platform/gui/PropertySheet.h"

class QLineEdit;
class QPlainTextEdit;
class QTreeWidget;

namespace lurvik {

class FileTypeTable;

// "Properties": the General page (the item's name and address, and statistics of its links, or of
// the whole tree for the root) and the HTTP Header page (the reply header the server sent).
class PropertiesSheet : public PropertySheet {
    Q_OBJECT
public:
    PropertiesSheet(const SiteTreeModel& model, const SiteTreeModel::Item* subject, FileTypeTable& types,
                    QWidget* owner);

    QLineEdit* nameEdit() const { return m_name; }
    QLineEdit* addressEdit() const { return m_address; }
    QTreeWidget* statistics() const { return m_statistics; }
    // Null until the HTTP Header page is shown.
    QPlainTextEdit* headerText() const { return m_header; }

private:
    QWidget* buildGeneral();
    QWidget* buildHeader();

    const SiteTreeModel& m_model;
    const SiteTreeModel::Item* m_subject;
    FileTypeTable& m_types;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_address = nullptr;
    QTreeWidget* m_statistics = nullptr;
    QPlainTextEdit* m_header = nullptr;
};

} // namespace lurvik
