#pragma once
// The form's overview-map control (1013): a sunken static whose client area
// shows the map. It paints whatever its COverviewMap holds whenever Qt asks
// (after being covered, or after the map's Draw requested it), so the picture
// comes back at once.
#include <QFrame>

class COverviewMap;

class COverviewControl : public QFrame {
    Q_OBJECT

public:
    explicit COverviewControl(QWidget* parent = nullptr);

    // The map painted into the client area; not owned, may be null.
    // User-interface thread only.
    void SetMap(COverviewMap* map);
    COverviewMap* Map() const { return m_map; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    COverviewMap* m_map = nullptr;
};
