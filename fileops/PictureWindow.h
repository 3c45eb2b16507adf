// The picture window "Image Viewer": the picture chosen last, stretched to the window, and a
// Close button. A window of its own (no owner); closing it discards it.
//
// Pictures are decoded off the window's thread, on a thread of the window's own, so that a large
// one does not stop the program; the newest request wins, and closing the window gives up a decode
// still running. A file that can't be decoded shows why instead of a picture.
#pragma once

#include "fileops/Picture.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;

namespace ketra {

// The image control: its picture stretched to its own size, or a message in its place.
class PictureArea : public QWidget {
public:
    explicit PictureArea(QWidget* parent = nullptr);
    void setPicture(const QImage& image);
    void setMessage(const QString& text);
    void clear();
    const QImage& picture() const { return m_image; }
    QString message() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
    QLabel* m_message = nullptr; // owned by this widget (Qt parent)
};

class PictureWindow : public QWidget {
public:
    PictureWindow();

    // Shows the window and the picture at `path` (its bytes): the old one goes at once, with
    // "Loading..." in its place until the new one is decoded.
    void ShowPicture(const QByteArray& path);
    const QByteArray& path() const { return m_path; }
    // The picture asked for last is still being decoded.
    bool loading() const { return m_loader.busy(); }

    PictureArea* img = nullptr;
    QPushButton* cmdClose = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Form_Resize();
    void decoded(const DecodedPicture& result);
    PictureLoader m_loader;
    QByteArray m_path;
};

} // namespace ketra
