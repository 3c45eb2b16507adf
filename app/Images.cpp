// The picture test on the selected item and the picture window that shows the picture chosen
// last, following the selection while it is open.
#include "GraphForm.h"

#include "fileops/Picture.h"
#include "fileops/PictureWindow.h"

#include <QAction>

void GraphForm::CheckImage(const QByteArray& path) {
    if (m_scanShown)
        return; // a picture of another machine can't be read
    switch (ketra::CheckPictureName(path)) {
    case ketra::PictureName::NoExtension:
        return;
    case ketra::PictureName::Other:
        tlbShowImage->setEnabled(false);
        return;
    case ketra::PictureName::Picture:
        m_imagePath = path;
        tlbShowImage->setEnabled(true);
        if (frmPic && frmPic->isVisible())
            ShowPicture();
        return;
    }
}

void GraphForm::ShowPicture() {
    if (m_imagePath.isEmpty() || refusedOnScan())
        return;
    if (!frmPic)
        frmPic = new ketra::PictureWindow(); // a window of its own; the main window deletes it last
    frmPic->ShowPicture(m_imagePath);
}
