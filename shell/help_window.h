#pragma once
// The help window frmHelp: a small viewer for the local user guide and the maker's web page.

#include <QString>
#include <QTextBrowser>
#include <QUrl>
#include <QWidget>

class QPushButton;

namespace varnex {

/// Address of the Get Paid page on the maker's web site.
inline constexpr const char* kGetPaidAddress = "https://www.varnex-solver.com/get-paid.html";

/// The scheme of the links that hand a web address to the desktop's browser.
inline constexpr const char* kOpenInBrowserScheme = "open-in-browser";

/// The browser control of the help window. It shows local pages itself; a web address (the Get Paid
/// page) shows a short page of its own with the address and a button that opens it in the desktop's
/// browser, and a page that cannot be loaded says so. Either way no warning is printed and the
/// navigation enters the history as any other page.
class HelpBrowser : public QTextBrowser {
    Q_OBJECT
  public:
    explicit HelpBrowser(QWidget* parent = nullptr);
    QVariant loadResource(int type, const QUrl& name) override;

  protected:
    /// A link of the open-in-browser scheme goes to the desktop's browser and leaves the page and
    /// the history as they are.
    void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;
};

/// frmHelp: one modeless window for the whole program, without a parent so that it can outlive the
/// main window. Closing it deletes it, and with it the navigation history.
class FrmHelp : public QWidget {
    Q_OBJECT
  public:
    FrmHelp();

    /// Shows the page at the address; the page enters the history.
    void navigate(const QUrl& url);
    void cmdBack_Click();
    void cmdForward_Click();

    QTextBrowser* browser() const { return WebBrowser1; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    HelpBrowser* WebBrowser1;
    QPushButton* cmdBack;
    QPushButton* cmdForward;
};

/// "&User Guide": shows the help window (one instance, modeless) on the local guide.
void UserGuide_Click(const QString& app_folder);
/// "&Get Paid": the same window on the fixed page of the maker's web site.
void GetPaid_Click();
/// Closes the help window if it is open (Exit).
void close_help_window();
/// The help window while it is loaded, else nullptr.
FrmHelp* help_window();

}  // namespace varnex
