#pragma once

#include "platform/gui/PropertySheet.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QSlider;
class QSpinBox;
class QTreeWidget;

namespace lurvik {

class Application;
class FontsPage;
class RatingsPage;

// "Options": the program's settings on tabbed pages. Each page fills its controls from the settings
// when first shown; Apply and OK write the shown pages back, save the settings and hand the new
// values to the running engine, agents and page cache at once.
class OptionsSheet : public PropertySheet {
    Q_OBJECT
public:
    OptionsSheet(Application& app, QWidget* owner);

    // The page the sheet opens on: the last one used in this run.
    static int& startPage();

    QCheckBox* check(const char* name) const;
    QSpinBox* spin(const char* name) const;
    QComboBox* limitBox() const { return m_limit; }
    QSlider* cacheSlider() const { return m_cacheSize; }
    QLabel* cacheLabel() const { return m_cacheLabel; }
    QLineEdit* proxyServer() const { return m_proxyServer; }
    QLineEdit* userAgent() const { return m_userAgent; }
    QLineEdit* caFile() const { return m_caFile; }
    QLineEdit* cacheDir() const { return m_cacheDir; }
    QTreeWidget* browserList() const { return m_browsers; }
    // Null until their pages were shown.
    FontsPage* fontsPage() const { return m_fonts; }
    RatingsPage* ratingsPage() const { return m_ratings; }

signals:
    // The views' fonts or the rating marks changed and must be shown again.
    void viewsChanged();

private:
    QWidget* buildGeneral();
    QWidget* buildNetwork();
    QWidget* buildCache();
    QWidget* buildAdvanced();
    QGroupBox* buildConnections(QWidget* page);
    QWidget* buildBrowser();
    void applyGeneral();
    void applyNetwork();
    void applyCache();
    void applyAdvanced();
    void applyBrowser();
    void pushToProgram();
    QCheckBox* addCheck(QWidget* page, const char* name, const QString& text, bool checked);
    QSpinBox* addSpin(QWidget* page, const char* name, int low, int high, int value);

    Application& m_app;
    QComboBox* m_limit = nullptr;
    QSlider* m_cacheSize = nullptr;
    QLabel* m_cacheLabel = nullptr;
    QLineEdit* m_cacheDir = nullptr;
    QLineEdit* m_proxyServer = nullptr;
    QSpinBox* m_proxyPort = nullptr;
    QLineEdit* m_userAgent = nullptr;
    QLineEdit* m_caFile = nullptr;
    QTreeWidget* m_browsers = nullptr;
    FontsPage* m_fonts = nullptr;
    RatingsPage* m_ratings = nullptr;
};

} // namespace lurvik
