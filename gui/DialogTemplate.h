// A dialog template as a table: each control's id, kind, text, rectangle in dialog
// units and resize anchors. CreateControls lays a table out as child widgets whose object
// names are their ids, so a layout reads like its table and tests find controls by id.
#pragma once

#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>
#include <span>
#include <vector>

#include "gui/DialogUnits.h"

enum class ControlKind {
    TreeView,  // QTreeWidget
    ListView,  // QTreeView in details style
    PushButton,
    DefPushButton,  // the template's default button
    Static,         // a text label
    Edit,
    EtchedHorz,  // a sunken line
    EtchedVert,
    Icon,          // a label showing an icon
    DropList,      // QComboBox, not editable
    Progress,      // QProgressBar
    ReadOnlyText,  // QPlainTextEdit, read-only, several lines
};

// Anchor flags: which edges follow the window's growth (dx, dy) beyond the template size.
enum AnchorFlag { ANCHOR_LEFT = 1, ANCHOR_RIGHT = 2, ANCHOR_TOP = 4, ANCHOR_BOTTOM = 8 };

constexpr int kNoControlId = -1;

struct ControlSpec {
    int id;  // kNoControlId for controls nobody addresses
    ControlKind kind;
    const char* text;  // nullptr: no text
    int x, y, w, h;    // dialog units
    int anchors;       // AnchorFlag bits
};

struct DialogTemplate {
    int id;
    const char* caption;  // nullptr: set by the dialog at start-up
    int width, height;    // client area, dialog units
    std::span<const ControlSpec> controls;
};

// The object name a control of that id carries ("1008").
QString ControlName(int id);

// Moves and stretches controls by the growth of their container over the template size.
// Edges move only while the container is larger than the reference in that direction.
class CAnchorLayout {
public:
    void SetReferenceSize(QSize size) { m_referenceSize = size; }
    QSize ReferenceSize() const { return m_referenceSize; }
    void Add(QWidget* widget, QRect reference, int anchors);
    void Apply(QSize current) const;

private:
    struct Item {
        QPointer<QWidget> widget;
        QRect reference;
        int anchors;
    };
    QSize m_referenceSize;
    std::vector<Item> m_items;
};

// Creates the template's controls as children of `parent` at their pixel rectangles and
// registers each with the anchor layout. Returns the widgets in table order.
std::vector<QWidget*> CreateControls(QWidget* parent, const DialogTemplate& dialogTemplate, const CDialogUnits& units,
                                     CAnchorLayout* anchors);
