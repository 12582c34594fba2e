#pragma once

#include "ui/AppContext.h"

#include <QObject>

#include <memory>

class QMainWindow;

namespace ovra {

class AppState;
class CleanupStore;
class SourceStore;
class DuplicateFinder;
class FileInteractions;
class OvraCommands;
class LibraryStore;
class Player;
class PlayerLink;
class Trash;
class TextIndex;
class UpdateNotice;
class Updater;

// The top of the program: makes the long-lived objects once, while a pool
// thread runs the settings migration and reads the settings, and makes those
// that read what it wrote (the app state, the text index) once it is done;
// keeps them for the life of the process, and shows the one window.
class OvraApplication : public QObject {
    Q_OBJECT
public:
    static constexpr int kWindowWidth = 1320;
    static constexpr int kWindowHeight = 860;

    OvraApplication();
    // Closes the window, then lets the objects go in reverse order, the index
    // last; each waits for its own background work as it goes.
    ~OvraApplication() override;
    // For the end of the process, which follows at once: every save that is
    // pending reaches the disk, then the work that runs at idle priority (the
    // reading of documents' words, text recognition) is left to the process's
    // end instead of being waited for: beside busy programs it can take
    // seconds to notice a stop. What it dropped is read again at the next start.
    // Only the destructor may follow.
    void finishForExit();

    const AppContext& context() const { return m_context; }

    // Makes the window the first time and brings it to the front. Its first
    // frame shows the app's background alone; right after that frame the
    // collections start loading and the content (a `ContentView`) and the menus
    // are built.
    QMainWindow* showWindow();
    // The window's menu commands; null before the window's content is built.
    OvraCommands* commands() const { return m_commands; }

    Player& player() const { return *m_player; }
    // "Check for Updates…", for the menus.
    UpdateNotice& updateNotice() const { return *m_updateNotice; }

private:
    void buildWindow();
    // Every store that lists files forgets the ones any screen moved to the Trash.
    void registerWithTrash();

    std::shared_ptr<content::ContentIndex> m_contentIndex;
    std::unique_ptr<md::MetadataIndex> m_index;
    std::unique_ptr<LibraryStore> m_library;
    std::unique_ptr<Trash> m_trash;
    std::unique_ptr<DuplicateFinder> m_duplicates;
    std::unique_ptr<Player> m_player;
    std::unique_ptr<PlayerLink> m_playerLink;
    std::unique_ptr<Updater> m_updater;
    std::unique_ptr<UpdateNotice> m_updateNotice;
    std::unique_ptr<content::ContentIndexer> m_contentIndexer;
    std::unique_ptr<CleanupStore> m_cleanup;
    std::unique_ptr<SourceStore> m_sources;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<TextIndex> m_textIndex;
    std::unique_ptr<FileInteractions> m_interactions;
    std::unique_ptr<QMainWindow> m_window;
    OvraCommands* m_commands = nullptr;
    AppContext m_context;
    bool m_finishedForExit = false;
};

} // namespace ovra
