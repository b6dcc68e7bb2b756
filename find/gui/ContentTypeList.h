#pragma once

#include "find/FindCriteria.h"

#include <QTreeWidget>

#include <array>
#include <vector>

namespace lurvik {

struct FindHost;

// The content type list shared by the Find window and the Find Wizard: the nine fixed types in
// their fixed order, then the file type names, each row with a ContentState that a double click
// steps 2, 1, 0, 2 and a context menu sets for every selected row. The two owners word the states
// and the menu differently, so they pass their texts.
class ContentTypeList : public QTreeWidget {
    Q_OBJECT
public:
    struct Texts {
        QString nameColumn, stateColumn;
        std::array<QString, 3> states; // by ContentState
        // The context menu's three items, in menu order: include, either, exclude.
        std::array<QString, 3> menu;
    };
    static Texts findWindowTexts();
    static Texts wizardTexts();

    ContentTypeList(const FindHost& host, Texts texts, QWidget* parent = nullptr);

    // The nine fixed rows and one per file type name, every state 2.
    void fillDefault();
    // Every row back to state 2.
    void resetStates();
    // Rebuilt from criteria: with fewer than nine rows the list stays empty, else the fixed rows
    // take the states of the first nine by position and later rows are added by name.
    void loadRows(const FindCriteria& criteria);
    // The rows as setContentTypes takes them (a name is cut to 254 bytes).
    std::vector<ContentTypeRow> rows() const;

    int state(int row) const;
    void setState(int row, int state);
    // The double click's step.
    void stepState(int row);

private:
    void addRow(const QString& name, int state, const QIcon& icon);
    void showMenu(const QPoint& at);

    const FindHost& m_host;
    Texts m_texts;
};

} // namespace lurvik
