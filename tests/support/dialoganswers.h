#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <memory>

namespace LumoraTest {

// Answers the next message box with `button`; the flag says whether one came.
inline std::shared_ptr<bool> answerNextBox(QMessageBox::StandardButton button)
{
    auto asked = std::make_shared<bool>(false);
    auto *timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, qApp, [timer, button, asked] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            *asked = true;
            timer->stop();
            timer->deleteLater();
            box->button(button)->click();
        }
    });
    timer->start();
    // Never left behind for a later test.
    QTimer::singleShot(5000, timer, &QObject::deleteLater);
    return asked;
}

} // namespace LumoraTest
