// The reshape check shared by the transmitter's stages (columns.hpp).
#include "transmit/columns.hpp"

#include <string>

#include "gateway/failure.hpp"

namespace tern::transmit {

Dims reshapeDims(std::size_t count, double rows, const char* rowsField, const char* array) {
    const std::size_t r = wholeCount(rows, rowsField);
    const double cols = static_cast<double>(count) / rows;
    if (!isWhole(cols))
        raiseRunTime(id::NonIntegerInput, std::string("Cannot arrange the ") + std::to_string(count) + " elements of " +
                                              array + " into " + rowsField +
                                              " rows: the column count is not a whole number.");
    if (count == 0 && r > 1)
        raiseRunTime(id::ReshapeEmptyLimit, std::string("Cannot arrange ") + array + " into " + std::to_string(r) +
                                                " rows (" + rowsField + "): it is empty.");
    const auto c = static_cast<std::size_t>(cols);
    if (r * c != count)
        raiseRunTime(id::ReshapeNotSameNumel, std::string("Arranging ") + array + " into " + rowsField +
                                                  " rows would change its element count.");
    return {r, c};
}

}  // namespace tern::transmit
