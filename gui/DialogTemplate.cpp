#include "gui/DialogTemplate.h"

#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>

QString ControlName(int id) { return QString::number(id); }

void CAnchorLayout::Add(QWidget* widget, QRect reference, int anchors) {
    m_items.push_back({widget, reference, anchors});
}

void CAnchorLayout::Apply(QSize current) const {
    const int dx = std::max(0, current.width() - m_referenceSize.width());
    const int dy = std::max(0, current.height() - m_referenceSize.height());
    for (const Item& item : m_items) {
        if (!item.widget) continue;
        QRect r = item.reference;
        int left = r.left(), top = r.top();
        int right = r.left() + r.width(), bottom = r.top() + r.height();
        if (item.anchors & ANCHOR_LEFT) left += dx;
        if (item.anchors & ANCHOR_RIGHT) right += dx;
        if (item.anchors & ANCHOR_TOP) top += dy;
        if (item.anchors & ANCHOR_BOTTOM) bottom += dy;
        item.widget->setGeometry(left, top, right - left, bottom - top);
    }
}

namespace {

QWidget* MakeControl(QWidget* parent, const ControlSpec& control) {
    const QString text = control.text ? QString::fromUtf8(control.text) : QString();
    switch (control.kind) {
        case ControlKind::TreeView: {
            auto* tree = new QTreeWidget(parent);
            tree->setHeaderHidden(true);
            return tree;
        }
        case ControlKind::ListView: {
            auto* list = new QTreeView(parent);
            list->setRootIsDecorated(false);
            list->setItemsExpandable(false);
            list->setUniformRowHeights(true);
            list->setAllColumnsShowFocus(true);
            return list;
        }
        case ControlKind::PushButton:
        case ControlKind::DefPushButton: {
            auto* button = new QPushButton(text, parent);
            button->setAutoDefault(false);
            button->setDefault(control.kind == ControlKind::DefPushButton);
            return button;
        }
        case ControlKind::Static: {
            auto* label = new QLabel(text, parent);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(text, parent);
            return edit;
        }
        case ControlKind::EtchedHorz:
        case ControlKind::EtchedVert: {
            auto* line = new QFrame(parent);
            line->setFrameShape(control.kind == ControlKind::EtchedHorz ? QFrame::HLine : QFrame::VLine);
            line->setFrameShadow(QFrame::Sunken);
            return line;
        }
        case ControlKind::Icon: {
            auto* icon = new QLabel(parent);
            icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return icon;
        }
        case ControlKind::DropList: {
            auto* list = new QComboBox(parent);
            list->setEditable(false);
            return list;
        }
        case ControlKind::Progress: {
            auto* progress = new QProgressBar(parent);
            progress->setTextVisible(false);
            return progress;
        }
        case ControlKind::ReadOnlyText: {
            auto* edit = new QPlainTextEdit(text, parent);
            edit->setReadOnly(true);
            return edit;
        }
    }
    return nullptr;
}

}  // namespace

std::vector<QWidget*> CreateControls(QWidget* parent, const DialogTemplate& dialogTemplate, const CDialogUnits& units,
                                     CAnchorLayout* anchors) {
    std::vector<QWidget*> made;
    if (anchors) anchors->SetReferenceSize(units.ToPixels(QSize(dialogTemplate.width, dialogTemplate.height)));
    for (const ControlSpec& control : dialogTemplate.controls) {
        QWidget* widget = MakeControl(parent, control);
        if (!widget) continue;
        if (control.id != kNoControlId) widget->setObjectName(ControlName(control.id));
        QRect rect = units.ToPixels(control.x, control.y, control.w, control.h);
        // An etched line of one unit still needs room for its two pixel rows.
        if (control.kind == ControlKind::EtchedHorz) rect.setHeight(std::max(rect.height(), 2));
        if (control.kind == ControlKind::EtchedVert) rect.setWidth(std::max(rect.width(), 2));
        // A label never cuts its text: the desktop's font may be wider than the one the
        // template was drawn for, and labels have free room to their right.
        if (control.kind == ControlKind::Static && control.text)
            rect.setWidth(std::max(rect.width(), widget->sizeHint().width()));
        widget->setGeometry(rect);
        if (anchors) anchors->Add(widget, rect, control.anchors);
        made.push_back(widget);
    }
    return made;
}
