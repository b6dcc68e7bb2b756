#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;

namespace lurvik {

class PropertySheet;
struct RatingSettings;
struct Settings;

// The Options sheet's "Ratings" page: the five rating switches. The three that loosen or tighten
// what may be seen are guarded by the ratings administrator password; a refused password leaves
// the box as it was.
class RatingsPage : public QWidget {
    Q_OBJECT
public:
    RatingsPage(RatingSettings& ratings, const Settings& settings, PropertySheet& sheet);

    // Stores the switches and saves them with the other rating flags.
    void apply();

private:
    QCheckBox* addSwitch(const char* name, const QString& text, int state, bool guarded);
    void enableSwitches();
    void showSystem();

    RatingSettings& m_ratings;
    const Settings& m_settings;
    PropertySheet& m_sheet;
    QLabel* m_systemName;
    QCheckBox* m_ratingsOn = nullptr;
    QCheckBox* m_blockViolated = nullptr;
    QCheckBox* m_markPages = nullptr;
    QCheckBox* m_blockUnrated = nullptr;
    QCheckBox* m_passwordOverride = nullptr;
};

} // namespace lurvik
