#pragma once

#include "analysis/RatingSystem.h"
#include "platform/gui/PropertySheet.h"

#include <functional>

class QLabel;
class QListWidget;
class QSlider;
class QTreeWidget;
class QTreeWidgetItem;

namespace lurvik {

struct RatingSettings;

// "Site Rating Configuration": the user's limit for each category of the loaded rating system
// ("Settings") and the rating-system file ("Systems"). The limits are edited on a copy, so that
// Cancel keeps the ones in force.
class RatingConfigSheet : public PropertySheet {
    Q_OBJECT
public:
    // openPage shows the rating system's web page, the way the program opens any address.
    using PageOpener = std::function<void(const QString& address)>;
    RatingConfigSheet(RatingSettings& ratings, PageOpener openPage, QWidget* owner);

    QTreeWidget* categoryTree() const { return m_tree; }
    QSlider* slider() const { return m_slider; }
    QLabel* levelName() const { return m_levelName; }
    QLabel* description() const { return m_description; }
    QListWidget* fileList() const { return m_files; }
    // What "Change..." does with the file the user picked: shown now, loaded on Apply.
    void chooseFile(const QString& path);

private:
    QWidget* buildSettings();
    QWidget* buildSystems();
    void fillTree();
    void showSelected();
    void showLevel();
    void sliderMoved(int position);
    void applySettings();
    void applySystems();
    void showFile(const Str& file);

    RatingSettings& m_ratings;
    PageOpener m_openPage;
    RatingSystem m_working; // the limits the slider changes
    int m_selectedCategory = -1;
    Str m_pendingFile; // chosen on "Systems", applied only when it differs
    QTreeWidget* m_tree = nullptr;
    QTreeWidgetItem* m_root = nullptr;
    QSlider* m_slider = nullptr;
    QLabel* m_levelName = nullptr;
    QLabel* m_description = nullptr;
    QListWidget* m_files = nullptr;
};

// Shows the sheet modally over owner.
void showRatingConfiguration(QWidget* owner, RatingSettings& ratings, RatingConfigSheet::PageOpener openPage);

} // namespace lurvik
