#pragma once

#include "plot/plot_figure.h"

#include <QImage>

class QPainter;

// A plot's figure painted with QPainter: the shapes and labels the SVG
// writer writes, so that the window shows the picture the files hold.
namespace vestrel::plot {

void PaintFigure(QPainter& painter, const Figure& figure);

// The figure as a picture of its own size.
QImage FigureImage(const Figure& figure);

}  // namespace vestrel::plot
