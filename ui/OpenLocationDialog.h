#pragma once

#include "core/Str.h"

#include <QDialog>

#include <vector>

class QComboBox;

namespace lurvik {

struct Settings;

// "Open Location": the address to start a site from, with the last five addresses offered.
// Pressing Open with a text puts it first in the stored history; the caller then starts it.
class OpenLocationDialog : public QDialog {
    Q_OBJECT
public:
    OpenLocationDialog(const Settings& settings, QWidget* parent = nullptr);

    // The address given with Open; empty after Cancel or an empty Open.
    QString address() const { return m_address; }
    QComboBox* combo() const { return m_combo; }

    // The history after opening text: an entry equal to it (case ignored) moves to the front, and
    // at most five are kept.
    static void addToHistory(std::vector<Str>& history, const Str& text);

private:
    void open();

    const Settings& m_settings;
    QComboBox* m_combo;
    QString m_address;
};

} // namespace lurvik
