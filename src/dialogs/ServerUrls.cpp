#include "dialogs/ServerUrls.h"

#include <QEvent>
#include <QLayout>
#include <QScreen>
#include <QStringList>
#include <QTextBoundaryFinder>
#include <QWidget>

namespace tessal {
namespace qt {

QUrl makeServerRootUrl(const QUrl& server)
{
    QUrl url(server);
    url.setPath(QString(), QUrl::DecodedMode);
    url.setQuery(QString(), QUrl::TolerantMode);
    return url;
}

QUrl makeProfileUrl(const QUrl& server)
{
    QUrl url(server);
    url.setPath(QStringLiteral("/pre/config.php"), QUrl::DecodedMode);
    url.setQuery(QStringLiteral("version=2.0"), QUrl::TolerantMode);
    return url;
}

QUrl makeResourceTemplateUrl(const QUrl& server)
{
    QUrl url(server);
    url.setPath(QStringLiteral("/vdesk/resource_template"), QUrl::DecodedMode);
    return url;
}

QUrl makeNAConfigUrl(const QUrl& server, const QString& resourceName)
{
    QUrl url(server);
    url.setPath(QStringLiteral("/vdesk/vpn/connect.php3"), QUrl::DecodedMode);
    url.setQuery(QStringLiteral("resourcename=%1&outform=xml&client_version=1.1").arg(resourceName),
                 QUrl::TolerantMode);
    return url;
}

namespace {

bool isPlainAscii(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() > 0x7f)
            return false;
    return true;
}

} // namespace

QString displayedUrl(const QUrl& url)
{
    // Only the authority changes (EncodeUnicode gives the host in ACE form);
    // path, query and fragment read as the toolkit shows them.
    QString text = url.scheme().isEmpty() ? QString() : url.scheme() + QLatin1Char(':');
    if (!url.authority().isEmpty())
        text += QStringLiteral("//") + url.authority(QUrl::EncodeUnicode);
    return text + url.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority);
}

QString displayedSite(const QString& site)
{
    if (isPlainAscii(site))
        return site;
    const QUrl url(site);
    if (!url.isValid() || url.host().isEmpty())
        return site;
    return displayedUrl(url);
}

QString displayedHostName(const QString& name)
{
    if (isPlainAscii(name))
        return name;
    QStringList labels = name.split(QLatin1Char('.'));
    for (QString& label : labels) {
        if (isPlainAscii(label))
            continue;
        const QByteArray ace = QUrl::toAce(label);
        if (ace.isEmpty())
            return name;
        label = QString::fromLatin1(ace);
    }
    return labels.join(QLatin1Char('.'));
}

QString wrappableText(const QString& text)
{
    constexpr QChar kBreak(0x200B);
    QString out;
    out.reserve(text.size());
    // Runs between spaces; each one cut into grapheme clusters, so that no
    // break comes between a letter and its marks.
    int runStart = 0;
    while (runStart < text.size()) {
        int runEnd = runStart;
        while (runEnd < text.size() && !text.at(runEnd).isSpace())
            ++runEnd;
        const QString run = text.mid(runStart, runEnd - runStart);
        if (run.size() <= kLongestUnbrokenRun) {
            out += run;
        } else {
            QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, run);
            int start = 0;
            int sinceBreak = 0;
            for (int end = graphemes.toNextBoundary(); end > 0; end = graphemes.toNextBoundary()) {
                const QString grapheme = run.mid(start, end - start);
                start = end;
                out += grapheme;
                ++sinceBreak;
                const bool separator = grapheme == QLatin1String(".") || grapheme == QLatin1String("/");
                if (end < run.size() && (separator || sinceBreak >= kLongestUnbrokenRun)) {
                    out += kBreak;
                    sinceBreak = 0;
                }
            }
        }
        for (runStart = runEnd; runStart < text.size() && text.at(runStart).isSpace(); ++runStart)
            out += text.at(runStart);
    }
    return out;
}

namespace {

class ScreenFit final : public QObject
{
public:
    explicit ScreenFit(QWidget& dialog) : QObject(&dialog), formMaximum(dialog.maximumSize()) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* dialog = qobject_cast<QWidget*>(watched);
        if (event->type() != QEvent::Show || dialog == nullptr || dialog->screen() == nullptr)
            return false;
        dialog->setMaximumSize(formMaximum.boundedTo(dialog->screen()->availableGeometry().size()));
        // Wrapped lines need the height for the width the dialog has: the
        // form's height alone would cut the last ones off.
        QLayout* layout = dialog->layout();
        if (layout != nullptr && layout->hasHeightForWidth()) {
            const int needed = layout->totalHeightForWidth(dialog->width());
            if (needed > dialog->height())
                dialog->resize(dialog->width(), qMin(needed, dialog->maximumHeight()));
        }
        return false;
    }

private:
    const QSize formMaximum;
};

} // namespace

void fitIntoScreen(QWidget& dialog)
{
    dialog.installEventFilter(new ScreenFit(dialog));
}

} // namespace qt
} // namespace tessal
