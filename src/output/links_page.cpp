#include "output/links_page.h"

#include "util/app_folder.h"
#include "util/settings_store.h"
#include "util/text_utils.h"
#include "util/user_text_file.h"

#include <QHash>
#include <QSet>

#include <array>

namespace corvantis::output {

using scan::PartnerSite;

namespace {
const QString kCrLf = QStringLiteral("\r\n");

const QString& FieldOf(const PartnerSite& p, PartnerField field) {
    switch (field) {
    case PartnerField::LinkUrl:
        return p.htmlLink;
    case PartnerField::LinkText:
        return p.htmlName;
    case PartnerField::Description:
        break;
    }
    return p.description;
}

QString Fallback(const QString& site, PartnerField field) {
    return field == PartnerField::Description ? QString() : site;
}

// The lookup of PartnerFieldForSite for every site at once, so a long result
// list costs one pass over the partners instead of one per result.
class PartnerFieldIndex {
public:
    explicit PartnerFieldIndex(const scan::PartnerListModel& partners) {
        for (const PartnerSite& p : partners.rows()) {
            auto& values = m_values[p.address];
            for (int f = 0; f < 3; ++f) {
                const QString& v = FieldOf(p, PartnerField(f));
                if (values[f].isEmpty() && !v.isEmpty())
                    values[f] = v;
            }
        }
    }
    QString value(const QString& site, PartnerField field) const {
        const auto it = m_values.constFind(site);
        if (it != m_values.cend() && !(*it)[int(field)].isEmpty())
            return (*it)[int(field)];
        return Fallback(site, field);
    }

private:
    QHash<QString, std::array<QString, 3>> m_values;
};
} // namespace

QString& PageBuilderText(scan::ScanProject& project, int which) {
    return which == 0 ? project.txtHTML1 : which == 1 ? project.txtHTML2 : project.txtHTML3;
}

const QString& PageBuilderText(const scan::ScanProject& project, int which) {
    return which == 0 ? project.txtHTML1 : which == 1 ? project.txtHTML2 : project.txtHTML3;
}

void SetPageBuilderText(scan::ScanProject& project, int which, const QString& text) {
    PageBuilderText(project, which) = text;
    util::WriteSetting(kPageBuilderKeys[which], text);
}

QString PartnerFieldForSite(const scan::PartnerListModel& partners, const QString& site,
                            PartnerField field) {
    for (const PartnerSite& p : partners.rows()) {
        if (p.address == site && !FieldOf(p, field).isEmpty())
            return FieldOf(p, field);
    }
    return Fallback(site, field);
}

QString BuildLinksHtml(const scan::PartnerListModel& partners, const scan::ResultListModel& results,
                       bool bulleted, bool newWindow) {
    const PartnerFieldIndex index(partners);
    const QString quote = QStringLiteral("\"");
    QSet<QString> included;
    QString out;
    for (const scan::ResultRow& r : results.rows()) {
        if (included.contains(r.site))
            continue;
        if (!util::ContainsCI(r.status, QStringLiteral("direct")))
            continue;
        included.insert(r.site);
        QString url = index.value(r.site, PartnerField::LinkUrl);
        const QString name = index.value(r.site, PartnerField::LinkText);
        const QString description = index.value(r.site, PartnerField::Description);
        // An https address is complete as it is.
        if (!util::ContainsCI(url, QStringLiteral("http://")) &&
            !util::ContainsCI(url, QStringLiteral("https://")))
            url.prepend(QStringLiteral("http://"));
        QString entry = QStringLiteral("<a href=") + quote + url + quote;
        if (newWindow)
            entry += QStringLiteral(" target=") + quote + QStringLiteral("_blank") + quote;
        entry += QStringLiteral(">") + name + QStringLiteral("</a>");
        if (!util::IsBlank(description))
            entry += QStringLiteral("<BR>") + description;
        if (bulleted)
            entry = QStringLiteral("<li>") + entry + QStringLiteral("</li>");
        out += entry + QStringLiteral("<br><br>") + kCrLf;
    }
    return out;
}

bool GenerateLinksHtml(scan::ScanProject& project, util::Messages& messages, bool bulleted,
                       bool newWindow) {
    if (project.results.count() == 0) {
        messages.inform(kNoLinksToGenerate);
        return false;
    }
    SetPageBuilderText(project, 1,
                       BuildLinksHtml(project.partners, project.results, bulleted, newWindow));
    return true;
}

QString WebpageText(const scan::ScanProject& project) {
    return project.txtHTML1 + kCrLf + kCrLf + project.txtHTML2 + kCrLf + kCrLf + project.txtHTML3 +
           kCrLf;
}

bool SaveWebpage(const scan::ScanProject& project, util::Messages& messages,
                 util::FileDialogs& dialogs) {
    const QString path =
        dialogs.saveFile(QStringLiteral("Save Webpage"), util::AppFolder(), kWebpageFilter);
    if (path.isEmpty())
        return false;
    const QString why = util::WriteUserTextFile(path, WebpageText(project));
    if (!why.isEmpty()) {
        messages.inform(QStringLiteral("The web page could not be saved as \"%1\":\n%2\n"
                                       "Any file that was there before is unchanged.")
                            .arg(path, why),
                        QStringLiteral("Save Webpage"));
        return false;
    }
    return true;
}

} // namespace corvantis::output
