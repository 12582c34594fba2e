#include "ContentView.h"

#include "SidebarView.h"
#include "StartupPipeline.h"
#include "TopBar.h"
#include "ViewStateResets.h"
#include "browser/DetailView.h"
#include "library/AppState.h"
#include "preview/InspectorView.h"
#include "preview/PreviewSheet.h"
#include "ui/EmptyStateView.h"
#include "ui/Hairline.h"
#include "ui/Theme.h"
#include "ui/ToastView.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace ovra {

namespace {

QBoxLayout* bareLayout(QBoxLayout* layout)
{
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

} // namespace

ContentView::ContentView(const AppContext& context, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
{
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    AppState& state = *m_context.state;
    // The resets come first, so a screen built for a new place already finds
    // the view state cleared.
    m_resets = new ViewStateResets(state, this);

    m_sidebarGroup = makeSidebarGroup();
    m_centreGroup = makeCentreGroup();
    m_inspectorGroup = makeInspectorGroup();
    auto* columns = bareLayout(new QHBoxLayout(this));
    columns->addWidget(m_sidebarGroup);
    columns->addWidget(m_centreGroup, 1);
    columns->addWidget(m_inspectorGroup);

    m_sheet = new PreviewSheetHost(m_context, this);
    m_toast = new ToastView(state, this);
    m_toast->raise();
    // The toast stays above the sheet, which raises itself as it opens.
    connect(&state, &AppState::previewItemChanged, m_toast, [this] { m_toast->raise(); });

    if (m_context.library)
        m_pipeline = new StartupPipeline(StartupPipeline::stepsFor(m_context), this);

    connect(&state, &AppState::sidebarCollapsedChanged, this, &ContentView::followPanels);
    connect(&state, &AppState::showInspectorChanged, this, &ContentView::followPanels);
    connect(&state, &AppState::refreshTokenChanged, this, [this] {
        if (m_hasShown) startLoading();
    });
    followPanels();
}

ContentView::~ContentView() = default;

QWidget* ContentView::makeSidebarGroup()
{
    auto* group = new QWidget(this);
    auto* layout = bareLayout(new QHBoxLayout(group));
    auto* sidebar = new SidebarView(m_context, group);
    sidebar->setFixedWidth(kSidebarWidth);
    layout->addWidget(sidebar);
    layout->addWidget(new Hairline(Qt::Vertical, group));
    return group;
}

QWidget* ContentView::makeCentreGroup()
{
    auto* group = new QWidget(this);
    auto* layout = bareLayout(new QVBoxLayout(group));
    layout->addWidget(new TopBar(m_context, group));
    layout->addWidget(new Hairline(Qt::Horizontal, group));
    m_detail = new DetailView(m_context, group);
    layout->addWidget(m_detail, 1);
    return group;
}

QWidget* ContentView::makeInspectorGroup()
{
    auto* group = new QWidget(this);
    auto* layout = bareLayout(new QHBoxLayout(group));
    layout->addWidget(new Hairline(Qt::Vertical, group));
    QWidget* inspector = new InspectorView(m_context, group);
    inspector->setFixedWidth(kInspectorWidth);
    layout->addWidget(inspector);
    return group;
}

void ContentView::followPanels()
{
    m_sidebarGroup->setVisible(!m_context.state->sidebarCollapsed());
    m_inspectorGroup->setVisible(m_context.state->showInspector());
}

void ContentView::startLoading()
{
    if (m_pipeline) m_pipeline->start(m_context.state->refreshToken().value());
}

void ContentView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_hasShown) return;
    m_hasShown = true;
    startLoading();
}

void ContentView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_sheet->setGeometry(rect());
}

void ContentView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::bg());
}

PreviewSheetHost::PreviewSheetHost(const AppContext& context, QWidget* parent)
    : QWidget(parent)
    , m_state(*context.state)
    , m_context(context)
{
    setFocusPolicy(Qt::StrongFocus);
    bareLayout(new QVBoxLayout(this));
    connect(&m_state, &AppState::previewItemChanged, this, &PreviewSheetHost::follow);
    follow();
}

void PreviewSheetHost::dismiss()
{
    m_state.setPreviewItem(std::nullopt);
}

// The sheet is made when it first opens and follows the preview item itself.
void PreviewSheetHost::follow()
{
    if (!m_state.previewItem()) {
        hide();
        return;
    }
    if (!m_content) {
        m_content = new PreviewSheet(m_context, this);
        layout()->addWidget(m_content);
    }
    if (isHidden()) {
        show();
        raise();
        // The sheet, not a button, takes the keys: Space must close it.
        m_content->setFocus();
    }
}

void PreviewSheetHost::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        dismiss();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PreviewSheetHost::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::bg());
}

} // namespace ovra
