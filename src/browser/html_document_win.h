#pragma once
// The completed page of a browser, read through the browser's document object model.
#include <windows.h>
#include <exdisp.h>
#include <mshtml.h>

#include <memory>

#include "browser/server_page.h"
#include "support/com_ptr_win.h"

namespace tt {

class HtmlServerDocument final : public IServerDocument {
public:
    // The browser's current document; null when it has none or it is not an HTML document
    // object.
    static std::unique_ptr<HtmlServerDocument> FromBrowser(IWebBrowser2* browser);

    explicit HtmlServerDocument(com_ptr<IHTMLDocument2> document) : document_(std::move(document)) {}

    std::u16string MimeType() override;
    std::u16string Title() override;
    std::u16string Cookie() override;
    std::unique_ptr<ILoginForm> FindLoginForm(const std::u16string& formName,
                                              const std::u16string& accountField,
                                              const std::u16string& passwordField) override;

private:
    com_ptr<IHTMLDocument2> document_;
};

}  // namespace tt
