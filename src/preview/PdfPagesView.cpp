#include "PdfPagesView.h"

#include "platform/Background.h"
#include "platform/thumbnails/PdfPage.h"
#include "ui/ScrollBarStyle.h"
#include "ui/Theme.h"

#include <QCoreApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>

#include <algorithm>
#include <deque>
#include <functional>
#include <mutex>
#include <set>

namespace ovra {

namespace {

QImage toImage(const RawImage& raw)
{
    return QImage(reinterpret_cast<const uchar*>(raw.pixels.constData()), raw.width, raw.height,
                  raw.bytesPerLine, QImage::Format_RGB32)
        .copy();
}

// Pages are drawn this much taller than wide at most before being fitted.
constexpr double kRenderHeadroom = 1.5;

} // namespace

// The document and the pages still wanted, shared between the view and the one
// drawing job that runs at a time. The document is not thread-safe: only the
// drawing job touches it, one page after another.
struct PdfPagesView::Renderer {
    std::mutex mutex;
    std::unique_ptr<PdfPages> document;
    std::deque<int> wanted;              // the pages in sight first
    std::set<int> asked;                 // wanted or drawn at the current width
    int width = 0;                       // pixels across a page
    std::function<bool()> wantedAtWidth; // whether pages drawn at it are still wanted
    bool isDrawing = false;
    bool isClosed = false;
    QPointer<PdfPagesView> view;
};

class PdfPagesView::Column : public QWidget {
public:
    explicit Column(PdfPagesView* view)
        : QWidget(view)
        , m_view(view)
    {
    }

    // The pages' places at the current width.
    QList<QRect> pageRects() const
    {
        QList<QRect> rects;
        const int width = std::max(1, this->width() - 2 * kMargin);
        int y = kMargin;
        for (int i = 0; i < m_view->m_pageCount; ++i) {
            const QImage& page = m_view->m_pages.at(i);
            const double aspect = page.isNull() ? m_view->m_aspect
                                                : double(page.height()) / std::max(1, page.width());
            const int height = std::max(1, int(width * aspect));
            rects.append(QRect(kMargin, y, width, height));
            y += height + kPageGap;
        }
        return rects;
    }

    int contentHeight() const
    {
        const QList<QRect> rects = pageRects();
        return rects.isEmpty() ? 0 : rects.last().bottom() + kMargin;
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QList<QRect> rects = pageRects();
        for (int i = 0; i < rects.size(); ++i) {
            const QRect& rect = rects.at(i);
            if (!rect.intersects(event->rect())) continue;
            painter.fillRect(rect, Qt::white);
            const QImage& page = m_view->m_pages.at(i);
            if (!page.isNull()) painter.drawImage(rect, page);
            painter.setPen(Theme::line());
            painter.drawRect(rect.adjusted(0, 0, -1, -1));
        }
    }

private:
    PdfPagesView* m_view;
};

// Draws the wanted pages one after another until none is left.
void PdfPagesView::drawWanted(const std::shared_ptr<Renderer>& renderer)
{
    for (;;) {
        int index = -1;
        int width = 0;
        std::function<bool()> wanted;
        QPointer<PdfPagesView> view;
        {
            std::lock_guard lock(renderer->mutex);
            if (renderer->isClosed || renderer->wanted.empty() || !renderer->document) {
                renderer->isDrawing = false;
                return;
            }
            index = renderer->wanted.front();
            renderer->wanted.pop_front();
            width = renderer->width;
            wanted = renderer->wantedAtWidth;
            view = renderer->view;
        }
        // A page's longer side is its height for the usual portrait page; ask
        // for enough that the width comes out as wanted.
        const std::optional<RawImage> raw =
            renderer->document->render(index, int(width * kRenderHeadroom));
        QImage image = raw ? toImage(*raw) : QImage();
        if (!image.isNull() && image.width() > width)
            image = image.scaledToWidth(width, Qt::SmoothTransformation);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [view, index, image, wanted] {
                if (view && wanted()) view->pageRendered(index, image);
            },
            Qt::QueuedConnection);
    }
}

PdfPagesView::PdfPagesView(const QString& path, QWidget* parent)
    : QScrollArea(parent)
    , m_renderer(std::make_shared<Renderer>())
    , m_column(new Column(this))
{
    setFrameShape(QFrame::NoFrame);
    ScrollBarStyle::apply(this);
    setWidgetResizable(false);
    setWidget(m_column);
    setFocusPolicy(Qt::NoFocus);
    m_renderer->view = this;
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            &PdfPagesView::requestVisiblePages);

    std::shared_ptr<Renderer> renderer = m_renderer;
    const auto opening = background::run(background::Pool::thumbnails, [path, renderer] {
        std::unique_ptr<PdfPages> document = PdfPages::open(path);
        int count = 0;
        double aspect = 0;
        if (document) {
            count = document->count();
            // The first page's shape stands for every page until each is drawn.
            if (const std::optional<RawImage> first = document->render(0, 200))
                aspect = double(first->height) / std::max(1, first->width);
        }
        {
            std::lock_guard lock(renderer->mutex);
            renderer->document = std::move(document);
        }
        return std::pair(count, aspect);
    });
    background::then(opening, this, [this](const std::pair<int, double>& opened) {
        documentOpened(opened.first, opened.second);
    });
}

PdfPagesView::~PdfPagesView()
{
    std::lock_guard lock(m_renderer->mutex);
    m_renderer->isClosed = true;
    m_renderer->wanted.clear();
}

int PdfPagesView::drawnPageCount() const
{
    return int(std::count_if(m_pages.begin(), m_pages.end(),
                             [](const QImage& page) { return !page.isNull(); }));
}

int PdfPagesView::pixelWidth() const
{
    const int width = std::max(1, viewport()->width() - 2 * kMargin);
    return int(width * devicePixelRatioF());
}

void PdfPagesView::documentOpened(int count, double aspect)
{
    m_failed = count <= 0;
    m_pageCount = std::max(count, 0);
    if (aspect > 0) m_aspect = aspect;
    m_pages = QList<QImage>(m_pageCount);
    m_column->resize(viewport()->width(), m_column->contentHeight());
    emit opened();
    requestVisiblePages();
}

void PdfPagesView::pageRendered(int index, const QImage& image)
{
    if (index < 0 || index >= m_pageCount) return;
    QImage page = image;
    page.setDevicePixelRatio(devicePixelRatioF());
    m_pages[index] = page;
    m_column->resize(viewport()->width(), m_column->contentHeight());
    m_column->update();
    emit pageDrawn(index);
}

void PdfPagesView::requestVisiblePages()
{
    if (m_pageCount == 0) return;
    const int width = pixelWidth();
    const int top = verticalScrollBar()->value();
    const QRect visible(0, top, viewport()->width(), viewport()->height());
    const QList<QRect> rects = m_column->pageRects();
    std::deque<int> inSight;
    std::deque<int> near;
    for (int i = 0; i < rects.size(); ++i) {
        if (rects.at(i).intersects(visible))
            inSight.push_back(i);
        else if (rects.at(i).intersects(
                     visible.adjusted(0, -visible.height(), 0, visible.height())))
            near.push_back(i);
    }
    const bool widthChanged = m_width.moveTo(width);
    bool startDrawing = false;
    {
        std::lock_guard lock(m_renderer->mutex);
        if (widthChanged) {
            m_renderer->width = width;
            m_renderer->wantedAtWidth = m_width.stillWanted();
            m_renderer->asked.clear();
        }
        // Pages that scrolled out of sight before their turn are forgotten.
        for (int i : m_renderer->wanted)
            m_renderer->asked.erase(i);
        m_renderer->wanted.clear();
        for (const std::deque<int>* pages : {&inSight, &near}) {
            for (int i : *pages) {
                const bool drawn = !m_pages.at(i).isNull() && m_pages.at(i).width() == width;
                if (drawn || !m_renderer->asked.insert(i).second) continue;
                m_renderer->wanted.push_back(i);
            }
        }
        if (!m_renderer->isDrawing && !m_renderer->wanted.empty()) {
            m_renderer->isDrawing = true;
            startDrawing = true;
        }
    }
    if (startDrawing) {
        std::shared_ptr<Renderer> renderer = m_renderer;
        // The job reports through the view; nobody waits on its future.
        (void)background::run(background::Pool::thumbnails, [renderer] { drawWanted(renderer); });
    }
}

void PdfPagesView::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    m_column->resize(viewport()->width(), m_column->contentHeight());
    requestVisiblePages();
}

void PdfPagesView::showEvent(QShowEvent* event)
{
    QScrollArea::showEvent(event);
    requestVisiblePages();
}

} // namespace ovra
