// Kept apart from loopback_server.cc so that a program linking the server
// next to another definition of this helper (the service harness has an
// inline one) does not pull in two.
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "loopback_server.h"

namespace kesta::testing {

uint16_t FreeLoopbackPort() {
  boost::asio::io_context io;
  boost::asio::ip::tcp::acceptor acceptor(
      io, boost::asio::ip::tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), 0));
  return acceptor.local_endpoint().port();
}

}  // namespace kesta::testing
