// include/matrix/matrix.h: umbrella header, the whole public interface.
#ifndef MATRIX_MATRIX_H
#define MATRIX_MATRIX_H

#include <kiv/wstring.h>
#include <kiv/exception.h>
#include <kiv/print.h>
#include <kiv/random.h>
#include <matrix/exceptions.h>
#include <matrix/cmatrix.h>
#include <matrix/mx.h>
#include <matrix/construct.h>
#include <matrix/concat.h>
#include <matrix/shape.h>
#include <matrix/rearrange.h>
#include <matrix/gallery.h>
#include <matrix/print.h>
#include <matrix/display.h>
#include <matrix/elementwise.h>
#include <matrix/reduce.h>
#include <matrix/sets.h>
#include <matrix/iterators.h>
#include <matrix/index.h>
#include <matrix/linalg.h>
#include <matrix/funfun.h>
#include <matrix/polyfun.h>
#include <matrix/fft.h>
#include <matrix/stats.h>
#include <matrix/order.h>
#include <matrix/array.h>
#include <matrix/mathfun.h>
#include <matrix/linalg_extra.h>
#include <matrix/threads.h>
#include <matrix/memory.h>

#endif  // MATRIX_MATRIX_H
