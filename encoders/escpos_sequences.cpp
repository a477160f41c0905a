#include "encoders/escpos_sequences.h"

void addPosCashDrawer1(dynamic_array *array) {
    dynamic_array_push_more_data(array, posCashDrawer1.data(), posCashDrawer1.size());
}
void addPosCashDrawer2(dynamic_array *array) {
    dynamic_array_push_more_data(array, posCashDrawer2.data(), posCashDrawer2.size());
}
void addPosBeeper(dynamic_array *array) { dynamic_array_push_more_data(array, posBeeper.data(), posBeeper.size()); }
void addPosCutting(dynamic_array *array) { dynamic_array_push_more_data(array, posCutting.data(), posCutting.size()); }
void addPosInitialize(dynamic_array *array) {
    dynamic_array_push_more_data(array, posInitialize.data(), posInitialize.size());
}
