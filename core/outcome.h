// What a node's evaluation leaves for the host binding to publish.
#pragma once

namespace tsl {

enum class Outcome {
  Published,    // the store holds the result: publish its record
  PassThrough,  // the store holds an input as given (the Boolean's fallback): publish its record
  Empty,        // a gate or the computation gave up, with its line in the log: publish nothing
  Unwritten,    // leave the output as the host handed it over
};

}  // namespace tsl
