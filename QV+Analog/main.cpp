// QV+Analog: records and examines the four analog channels of a NAVO+ unit.

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return 0;
}
