// "Preview": the first 64 KiB of a file of the scanned volume, read through the parser
// into memory, shown as text, as a hex dump, or as a picture for image data. Nothing is
// written anywhere: no temporary copy, nothing on the volume or the destination.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QImage>

class CFileSystemParser;
class NodeEntry;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QScrollArea;
class QStackedWidget;

class CPreviewDlg final : public QDialog {
    Q_OBJECT
public:
    // How much of a file is shown.
    static constexpr uint32_t kPreviewBytes = 64 * 1024;
    enum class Mode { Text = 0, Hex = 1, Picture = 2 };

    // Reads the node's first bytes through the parser at once; the parser must not be in
    // use by a job meanwhile.
    CPreviewDlg(QWidget* parent, CFileSystemParser* parser, NodeEntry* node);

    Mode CurrentMode() const { return m_mode; }
    bool Readable() const { return m_bReadable; }
    const QByteArray& Bytes() const { return m_bytes; }
    const QImage& Picture() const { return m_picture; }
    QString InfoText() const;
    QString ShownText() const;
    void SetMode(Mode mode);

    // The hex dump of bytes: offset, 16 bytes, their printable characters.
    static QString HexDump(const QByteArray& bytes);

private:
    QByteArray m_bytes;
    QImage m_picture;
    bool m_bReadable = false;
    Mode m_mode = Mode::Hex;
    QLabel* m_pInfo = nullptr;
    QComboBox* m_pShowAs = nullptr;
    QStackedWidget* m_pPages = nullptr;
    QPlainTextEdit* m_pText = nullptr;
    QPlainTextEdit* m_pHex = nullptr;
    QScrollArea* m_pPictureArea = nullptr;
    QLabel* m_pPictureLabel = nullptr;
};
