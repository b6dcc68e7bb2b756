#include "SiteMonitor.h"

#include "Application.h"
#include "UserAddress.h"
#include "WindowCheckpoints.h"
#include "sitemap/MapComparison.h"
#include "sitemap/SiteMapFile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace lurvik {

namespace {

// The new map takes the place of the one compared with; false with why when the system refused.
bool keep(const QString& fresh, const QString& kept, QString& why) {
    if (std::rename(fresh.toLocal8Bit().constData(), kept.toLocal8Bit().constData()) == 0)
        return true;
    why = QStringLiteral(" The map could not be kept for the next time: %1.")
              .arg(QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

// One name per address: the host to find it by, a hash to tell two addresses on one host apart.
QString baseName(const URL& url) {
    QString host = QString::fromUtf8(url.getHost().data(), static_cast<int>(url.getHost().size()));
    host.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9.-]")), QStringLiteral("_"));
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(url.text()), QCryptographicHash::Sha1).toHex();
    return host + QLatin1Char('-') + QString::fromLatin1(hash.left(10));
}

} // namespace

QString SiteMonitor::folder() {
    return QFileInfo(WindowCheckpoints::fileName()).path() + QStringLiteral("/monitor");
}

void SiteMonitor::watch(const std::string& address) {
    if (!isWatching())
        m_verifyCache = m_app.engine.verifyCache;
    m_address = address;
    m_app.engine.verifyCache = 1;
}

void SiteMonitor::cancel() {
    if (isWatching())
        m_app.engine.verifyCache = m_verifyCache;
    m_address.clear();
}

SiteMonitor::Outcome SiteMonitor::finish() {
    Outcome outcome;
    URL start;
    parseUserAddress(m_address, start);
    const QString address = QString::fromStdString(m_address);
    cancel();
    SiteNode* site = m_app.engine.findNode(start, true, false);
    if (!site) {
        outcome.failed = true;
        outcome.text = QStringLiteral("The scheduled retrieval of %1 has no page to compare.").arg(address);
        return outcome;
    }
    const QString dir = folder();
    QDir().mkpath(dir);
    const QString kept = dir + QLatin1Char('/') + baseName(site->url) + QStringLiteral(".web");
    const QString fresh = dir + QLatin1Char('/') + baseName(site->url) + QStringLiteral(".new.web");
    SiteMapFile map;
    map.fileName = Str(fresh.toStdString());
    map.checkedLinks = checkedLinksOf(m_app.checkedLinks);
    if (int result = map.save(m_app.engine, site, false)) {
        outcome.failed = true;
        outcome.text = QStringLiteral("The scheduled retrieval of %1 could not be kept for comparing: %2")
                           .arg(address, QString::fromStdString(map.failureText(result)));
        return outcome;
    }
    const QFileInfo previous(kept);
    QString notKept;
    if (!previous.exists()) {
        outcome.failed = !keep(fresh, kept, notKept);
        outcome.text = QStringLiteral("%1 was retrieved on schedule for the first time; the next scheduled "
                                      "retrieval will be compared with this one.")
                           .arg(address) +
                       notKept;
        return outcome;
    }
    std::vector<MapChange> changes;
    std::string why;
    const QDateTime now = QDateTime::currentDateTime();
    const QString olderName = QStringLiteral("%1, %2").arg(
        address, QLocale().toString(previous.lastModified(), QLocale::ShortFormat));
    const QString newerName =
        QStringLiteral("%1, %2").arg(address, QLocale().toString(now, QLocale::ShortFormat));
    outcome.page = dir + QLatin1Char('/') + baseName(site->url) +
                   now.toString(QStringLiteral("-yyyyMMdd-HHmmss")) + QStringLiteral(".html");
    Str written;
    if (compareMapFiles(kept.toStdString(), fresh.toStdString(), false, changes, why) != 0 ||
        writeComparisonPage(outcome.page.toStdString(), olderName.toStdString(), newerName.toStdString(),
                            changes, written) != 0) {
        outcome.failed = true;
        outcome.text = QStringLiteral("The scheduled retrieval of %1 could not be compared: %2")
                           .arg(address, QString::fromStdString(why.empty() ? written.str() : why));
        outcome.page.clear();
        return outcome;
    }
    // The older map goes only once the comparison is safely written.
    outcome.failed = !keep(fresh, kept, notKept);
    for (const MapChange& change : changes)
        outcome.broken += change.kind == MapChange::Kind::Broken;
    outcome.text =
        QStringLiteral("%1 compared with its retrieval of %2: %3 change(s), %4 newly broken. The list "
                       "is kept in %5.")
            .arg(address, QLocale().toString(previous.lastModified(), QLocale::ShortFormat))
            .arg(changes.size())
            .arg(outcome.broken)
            .arg(QDir::toNativeSeparators(outcome.page)) +
        notKept;
    return outcome;
}

} // namespace lurvik
