#pragma once

#include <QDialog>

#include <string>

class QPushButton;

namespace vestrel {

class ClickLabel;
class ProcessLauncher;

// "About...": the product's identity, version and codes, and where the
// workspace is. The logo and the web link open the vendor's page.
class TFAbout : public QDialog {
    Q_OBJECT

public:
    TFAbout(ProcessLauncher& launcher, const std::string& workspaceRoot, QWidget* parent = nullptr);

    void ImageClick();
    void LbWebClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OpenVendorPage();

    ProcessLauncher& launcher_;
    ClickLabel* Image1;
    ClickLabel* LbWeb;
    ClickLabel* LbMail;
    QPushButton* BtOK;
};

// The vendor's logo, drawn rather than shipped as a file.
QPixmap VendorLogo(int size);

}  // namespace vestrel
