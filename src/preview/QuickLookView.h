#pragma once

#include "PreviewKind.h"
#include "library/FileItem.h"
#include "platform/KeyedTask.h"

#include <QImage>
#include <QWidget>

class QMediaPlayer;

namespace ovra {

class PlayerSummary;

// The preview of one file, whatever it is: a picture, a PDF's pages, the start
// of a text file, a song or a film with playing controls, else the file's icon
// and details. One view shows one file for its whole life; whoever shows
// another file makes a new view, so nothing of the last file's can reach it.
// Everything read of the file is read on the preview's threads.
class QuickLookView : public QWidget {
    Q_OBJECT
public:
    // `autostarts`: a song or film plays as soon as it is shown. Only one
    // thing plays at a time: a song or film pauses whenever `mainPlayer` (if
    // any) or another preview starts to play, and pauses them when it starts.
    QuickLookView(const FileItem& item, bool autostarts, PlayerSummary* mainPlayer = nullptr,
                  QWidget* parent = nullptr);
    ~QuickLookView() override;

    const FileItem& item() const { return m_item; }
    PreviewKind kind() const { return m_kind; }
    // Whether what the file holds is on screen (a picture decoded, the first
    // PDF page drawn, the text read, the player made, the icon found).
    bool hasContent() const { return m_hasContent; }
    // The player of a song or film; null for anything else.
    QMediaPlayer* player() const { return m_player; }

signals:
    // The file's content has been put on screen; emitted once.
    void contentShown();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    class PicturePane;
    QWidget* makeImagePane();
    QWidget* makePdfPane();
    QWidget* makeTextPane();
    QWidget* makeMediaPane(bool autostarts, PlayerSummary* mainPlayer);
    void playOneAtATime(PlayerSummary& mainPlayer);
    QWidget* makeVideoStage(QWidget* parent);
    QWidget* makeIconPane();
    void startImageLoad();
    void markShown();

    FileItem m_item;
    PreviewKind m_kind;
    PicturePane* m_picture = nullptr;
    QMediaPlayer* m_player = nullptr;
    bool m_hasContent = false;
    QSize m_requestedBox;
    KeyedTask<QString> m_task;
};

} // namespace ovra
