#pragma once

#include "FileInformation.h"
#include "platform/KeyedTask.h"
#include "ui/AppContext.h"

#include <QScrollArea>
#include <QWidget>

class QGridLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace ovra {

class EmptyStateView;
class ItemInspector;
class RecognizedTextSection;

// The panel at the window's right edge: "Details" with a close button over the
// focused file's inspector, or "No Selection" while no file is focused. Only a
// panel on screen shows a file: hidden, it lets go of it, and its preview
// closes (a song played in it stops).
class InspectorView : public QWidget {
    Q_OBJECT
public:
    explicit InspectorView(const AppContext& context, QWidget* parent = nullptr);

    // Null while the panel shows no file.
    ItemInspector* itemInspector() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void follow();

    AppContext m_context;
    EmptyStateView* m_placeholder;
    ItemInspector* m_inspector;
};

// One file's inspector: its preview, name and kind, Open and Show in Folder,
// the site it was downloaded from, its recognised text and its information.
// It lives on from one focused file to the next: the preview is made anew for
// each file at once, the information rows stay until the new file's are read.
class ItemInspector : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int kPreviewHeight = 230;

    explicit ItemInspector(const AppContext& context, QWidget* parent = nullptr);

    void setItem(const FileItem& item);
    // Lets go of the file: its preview closes and its rows are no longer awaited.
    void clear();
    const std::optional<FileItem>& item() const { return m_item; }

    const QList<DetailRow>& rows() const { return m_rows; }
    QWidget* preview() const { return m_preview; }
    RecognizedTextSection* textSection() const { return m_text; }
    // Null when the file has no known download source.
    QWidget* sourceRow() const { return m_sourceRow; }

signals:
    void rowsChanged();

private:
    void showPreview();
    void showRows(const Metadata::Loaded& loaded);
    void showSource(const std::optional<DownloadSource>& source);
    void open();

    AppContext m_context;
    std::optional<FileItem> m_item;
    QList<DetailRow> m_rows;
    KeyedTask<QString> m_rowsTask;
    QWidget* m_previewBox;
    QWidget* m_preview = nullptr;
    QLabel* m_title;
    QLabel* m_subtitle;
    QVBoxLayout* m_sourceSlot;
    QWidget* m_sourceRow = nullptr;
    QWidget* m_textDivider;
    RecognizedTextSection* m_text = nullptr;
    QGridLayout* m_grid;
};

} // namespace ovra
