#include "gui/PreviewDlg.h"

#include <QBuffer>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLocale>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <vector>

#include "app/ContentCheck.h"
#include "fslib/core/FileSystemParser.h"

namespace {

QPlainTextEdit* ReadOnlyText(QWidget* parent, bool fixed) {
    auto* edit = new QPlainTextEdit(parent);
    edit->setReadOnly(true);
    edit->setLineWrapMode(fixed ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
    if (fixed) edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return edit;
}

}  // namespace

CPreviewDlg::CPreviewDlg(QWidget* parent, CFileSystemParser* parser, NodeEntry* node) : QDialog(parent) {
    setObjectName(QStringLiteral("PreviewDlg"));
    const QString name = QString::fromUtf8(node && node->name ? node->name : "");
    setWindowTitle(QStringLiteral("Preview - %1").arg(name));
    setSizeGripEnabled(true);

    std::vector<uint8_t> head;
    m_bReadable = parser && node && parser->ReadNodeHead(node, kPreviewBytes, &head);
    m_bytes = QByteArray(reinterpret_cast<const char*>(head.data()), static_cast<qsizetype>(head.size()));
    if (m_bReadable && !m_bytes.isEmpty()) {
        // Only the picture formats the data itself announces: text that happens to read
        // as a portable bitmap or an X pixmap stays text.
        QBuffer buffer(&m_bytes);
        buffer.open(QIODevice::ReadOnly);
        const QByteArray format = QImageReader::imageFormat(&buffer);
        static const QList<QByteArray> kPictures = {"png", "jpeg", "gif", "bmp", "webp", "ico", "tiff"};
        if (kPictures.contains(format)) m_picture = QImage::fromData(m_bytes, format.constData());
    }

    m_pInfo = new QLabel(this);
    m_pInfo->setObjectName(QStringLiteral("PreviewInfo"));
    m_pInfo->setWordWrap(true);
    m_pShowAs = new QComboBox(this);
    m_pShowAs->setObjectName(QStringLiteral("PreviewShowAs"));
    m_pShowAs->addItems({QStringLiteral("Text"), QStringLiteral("Hex"), QStringLiteral("Picture")});
    auto* showAsLabel = new QLabel(QStringLiteral("Show as:"), this);
    showAsLabel->setBuddy(m_pShowAs);

    m_pPages = new QStackedWidget(this);
    m_pText = ReadOnlyText(m_pPages, false);
    m_pText->setObjectName(QStringLiteral("PreviewText"));
    m_pHex = ReadOnlyText(m_pPages, true);
    m_pHex->setObjectName(QStringLiteral("PreviewHex"));
    m_pPictureArea = new QScrollArea(m_pPages);
    m_pPictureArea->setAlignment(Qt::AlignCenter);
    m_pPictureLabel = new QLabel(m_pPictureArea);
    m_pPictureLabel->setObjectName(QStringLiteral("PreviewPicture"));
    m_pPictureArea->setWidget(m_pPictureLabel);
    m_pPages->addWidget(m_pText);
    m_pPages->addWidget(m_pHex);
    m_pPages->addWidget(m_pPictureArea);

    // Undecodable bytes are shown as replacement characters in the text view.
    m_pText->setPlainText(QString::fromUtf8(m_bytes));
    m_pHex->setPlainText(HexDump(m_bytes));
    if (!m_picture.isNull()) {
        m_pPictureLabel->setPixmap(QPixmap::fromImage(m_picture));
        m_pPictureLabel->adjustSize();
    }

    auto* top = new QHBoxLayout;
    top->addWidget(m_pInfo, 1);
    top->addWidget(showAsLabel);
    top->addWidget(m_pShowAs);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_pPages, 1);
    layout->addWidget(buttons);
    resize(720, 520);

    if (!m_picture.isNull())
        SetMode(Mode::Picture);
    else
        SetMode(
            LooksLikeText(reinterpret_cast<const uint8_t*>(m_bytes.constData()), static_cast<size_t>(m_bytes.size()))
                ? Mode::Text
                : Mode::Hex);
    // A picture view only for data that decodes as one.
    if (m_picture.isNull()) m_pShowAs->removeItem(static_cast<int>(Mode::Picture));
    connect(m_pShowAs, &QComboBox::currentIndexChanged, this, [this](int index) { SetMode(static_cast<Mode>(index)); });
    m_pInfo->setText(InfoText());
}

void CPreviewDlg::SetMode(Mode mode) {
    if (mode == Mode::Picture && m_picture.isNull()) return;
    m_mode = mode;
    m_pPages->setCurrentIndex(static_cast<int>(mode));
    if (m_pShowAs->currentIndex() != static_cast<int>(mode)) m_pShowAs->setCurrentIndex(static_cast<int>(mode));
}

QString CPreviewDlg::InfoText() const {
    if (!m_bReadable) return QStringLiteral("The file could not be read.");
    const QLocale locale;
    QString text = m_bytes.size() < static_cast<qsizetype>(kPreviewBytes)
                       ? QStringLiteral("%1 bytes").arg(locale.toString(m_bytes.size()))
                       : QStringLiteral("The first %1 bytes").arg(locale.toString(m_bytes.size()));
    if (!m_picture.isNull())
        text += QStringLiteral(", a picture of %1 × %2 pixels").arg(m_picture.width()).arg(m_picture.height());
    return text;
}

QString CPreviewDlg::ShownText() const {
    switch (m_mode) {
        case Mode::Text: return m_pText->toPlainText();
        case Mode::Hex: return m_pHex->toPlainText();
        case Mode::Picture: break;
    }
    return {};
}

QString CPreviewDlg::HexDump(const QByteArray& bytes) {
    static const char kHex[] = "0123456789abcdef";
    QString out;
    out.reserve(bytes.size() / 16 * 78 + 80);
    for (qsizetype line = 0; line < bytes.size(); line += 16) {
        out += QStringLiteral("%1  ").arg(line, 8, 16, QLatin1Char('0'));
        QString chars;
        for (qsizetype i = 0; i < 16; ++i) {
            if (line + i < bytes.size()) {
                auto b = static_cast<uint8_t>(bytes[line + i]);
                out += QLatin1Char(kHex[b >> 4]);
                out += QLatin1Char(kHex[b & 15]);
                out += QLatin1Char(' ');
                chars += (b >= 0x20 && b < 0x7F) ? QLatin1Char(static_cast<char>(b)) : QLatin1Char('.');
            } else {
                out += QStringLiteral("   ");
            }
            if (i == 7) out += QLatin1Char(' ');
        }
        out += QStringLiteral(" |") + chars + QStringLiteral("|\n");
    }
    return out;
}
