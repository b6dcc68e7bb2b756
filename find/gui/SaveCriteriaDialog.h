#pragma once

#include <QDialog>

class QLineEdit;

namespace lurvik {

// "Save Find Criteria": a file name, typed or browsed for, and the optional author and
// description a criteria file carries. Accepted only with a file name, which then ends in ".ifc".
class SaveCriteriaDialog : public QDialog {
    Q_OBJECT
public:
    explicit SaveCriteriaDialog(QWidget* parent = nullptr);

    QString fileName() const { return m_chosenName; }
    QString author() const;
    QString description() const;
    QLineEdit* fileNameBox() const { return m_name; }
    QLineEdit* authorBox() const { return m_author; }
    QLineEdit* descriptionBox() const { return m_description; }

    // ".ifc" is added unless the name ends in it exactly: "crit.IFC" becomes "crit.IFC.ifc".
    static QString withExtension(const QString& name);

    // "&Create": refuses an empty name with a message box.
    void create();

private:
    void browse();

    QLineEdit* m_name;
    QLineEdit* m_author;
    QLineEdit* m_description;
    QString m_chosenName;
};

} // namespace lurvik
