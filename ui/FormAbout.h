// The About box: the program's name and version, an author line and a link to
// the program's README. Modal, fixed size, closed only by its Ok button or
// close box.
#pragma once

#include <QDialog>
#include <QUrl>

class QLabel;
class QPushButton;

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    // The program's home page: its README, for the program in `executableFolder`
    // (by default the running one). Empty when there is none to open.
    static QUrl HomePage(const QString& executableFolder = {});

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Button1Click();
    void Label3Click();

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QPushButton* Button1;
};
