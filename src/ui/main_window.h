#pragma once

#include <QMainWindow>

namespace corvantis::ui {

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
};

} // namespace corvantis::ui
