#pragma once

#include "ui/AppContext.h"

#include <QWidget>

namespace ovra {

class DetailView;
class PreviewSheetHost;
class StartupPipeline;
class ToastView;
class ViewStateResets;

// The content of the app's one window, left to right: the sidebar (while it
// is not collapsed), the top bar over the detail area, and the inspector
// (while it is shown); the toast floats over the bottom edge and the preview
// sheet covers everything while a preview item is set. It keeps the view
// state consistent as the user moves about, and runs the start-up loading
// when it is first shown and again on every refresh.
class ContentView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSidebarWidth = 252;
    static constexpr int kInspectorWidth = 320;
    static constexpr int kMinimumWidth = 1000;
    static constexpr int kMinimumHeight = 640;

    explicit ContentView(const AppContext& context, QWidget* parent = nullptr);
    ~ContentView() override;

    // The sidebar with its divider.
    QWidget* sidebarGroup() const { return m_sidebarGroup; }
    // The top bar, its divider and the detail area.
    QWidget* centreGroup() const { return m_centreGroup; }
    // The inspector with its divider.
    QWidget* inspectorGroup() const { return m_inspectorGroup; }
    DetailView* detailView() const { return m_detail; }
    PreviewSheetHost* previewSheet() const { return m_sheet; }
    // Null when there is no library store to load.
    StartupPipeline* pipeline() const { return m_pipeline; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* makeSidebarGroup();
    QWidget* makeCentreGroup();
    QWidget* makeInspectorGroup();
    void followPanels();
    void startLoading();

    AppContext m_context;
    QWidget* m_sidebarGroup = nullptr;
    QWidget* m_centreGroup = nullptr;
    QWidget* m_inspectorGroup = nullptr;
    DetailView* m_detail = nullptr;
    ToastView* m_toast = nullptr;
    PreviewSheetHost* m_sheet = nullptr;
    ViewStateResets* m_resets = nullptr;
    StartupPipeline* m_pipeline = nullptr;
    bool m_hasShown = false;
};

// The preview sheet's place: it covers the window content while the state's
// preview item is set, and closing it (Escape) clears that item only; the
// preview list, the file selection and the focus stay.
class PreviewSheetHost : public QWidget {
    Q_OBJECT
public:
    PreviewSheetHost(const AppContext& context, QWidget* parent);

    void dismiss();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void follow();

    AppState& m_state;
    QWidget* m_content = nullptr;
    AppContext m_context;
};

} // namespace ovra
