// The About box: the program's name and version, an author line and a link to
// the README installed with the program. Modal, fixed size, closed only by its
// Ok button or close box.
#pragma once

#include <QDialog>
#include <QUrl>

class QLabel;
class QPushButton;

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    // The program's home page: its README, where the installation puts it.
    static QUrl HomePage();

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
