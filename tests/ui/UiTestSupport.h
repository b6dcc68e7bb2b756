#pragma once

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QMessageBox>
#include <QPrinter>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace lurvik::test {

// Answers the next modal window (a dialog or a message box) from inside its own event loop, as a
// user would: the test arranges the answer first, then runs the command that opens it.
inline void answerNextModal(std::function<void(QWidget*)> answer) {
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, answer] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        poll->stop();
        poll->deleteLater();
        answer(modal);
    });
    poll->start();
}

// Answers the next modal window, which must be a Window.
template <typename Window>
void answerNext(std::function<void(Window*)> answer) {
    answerNextModal([answer](QWidget* modal) {
        auto* window = qobject_cast<Window*>(modal);
        QVERIFY(window);
        answer(window);
    });
}

// Closes the next message box and keeps its caption and text.
inline void recordNextMessageBox(QString& caption, QString& text) {
    answerNextModal([&caption, &text](QWidget* modal) {
        caption = modal->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            text = box->text();
            box->done(QMessageBox::Ok);
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        }
    });
}

// What `program` printed on its standard output; empty when it did not end in time.
inline QString outputOf(const QString& program, const QStringList& arguments, int timeoutMs = 60000) {
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(timeoutMs) ? QString::fromUtf8(process.readAllStandardOutput())
                                              : QString();
}

// The whole file; empty when it cannot be read.
inline QByteArray fileBytes(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline std::unique_ptr<QPrinter> pdfPrinter(const QString& fileName) {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(fileName);
    return printer;
}

inline bool writeFile(const QString& name, const QByteArray& bytes) {
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace lurvik::test
