#pragma once

#include "platform/KeyedTask.h"

#include <QImage>
#include <QList>
#include <QScrollArea>
#include <QString>

#include <memory>

namespace ovra {

// A PDF's pages in one scrolling column. The document is opened and its pages
// drawn on the preview's threads through the platform's PDF pages, the pages
// in sight first; a page not drawn yet shows as blank paper of the first
// page's shape.
class PdfPagesView : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int kPageGap = 12;
    static constexpr int kMargin = 16;

    explicit PdfPagesView(const QString& path, QWidget* parent = nullptr);
    ~PdfPagesView() override;

    int pageCount() const { return m_pageCount; }
    // Whether the document could not be opened.
    bool hasFailed() const { return m_failed; }
    int drawnPageCount() const;

signals:
    // The document has been opened, or found unreadable.
    void opened();
    // A page has been drawn into the view.
    void pageDrawn(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    class Column;
    struct Renderer;

    static void drawWanted(const std::shared_ptr<Renderer>& renderer);
    void documentOpened(int count, double aspect);
    void pageRendered(int index, const QImage& image);
    void requestVisiblePages();
    int pixelWidth() const;

    std::shared_ptr<Renderer> m_renderer;
    // Keyed by the pages' width in pixels: a page drawn at an older width is
    // dropped when it arrives.
    KeyedTask<int> m_width;
    Column* m_column;
    int m_pageCount = 0;
    bool m_failed = false;
    double m_aspect = 1.414; // height over width, until the first page says
    QList<QImage> m_pages;
};

} // namespace ovra
