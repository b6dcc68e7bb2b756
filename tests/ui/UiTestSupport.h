#pragma once

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <functional>

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

} // namespace lurvik::test
