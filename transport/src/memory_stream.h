// An in-memory stream for serving one connection without a socket: reads take the bytes the
// peer sent, then report the end of the stream; writes collect what the server answers.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/async_result.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core/bind_handler.hpp>
#include <boost/beast/core/error.hpp>

namespace Ormi::Transport::Detail {

class MemoryStream {
 public:
  using executor_type = boost::asio::any_io_executor;

  MemoryStream(executor_type executor, std::string input, std::shared_ptr<std::string> output)
      : executor_(std::move(executor)), input_(std::move(input)), output_(std::move(output)) {}

  executor_type get_executor() const { return executor_; }

  template <typename Buffers, typename Handler>
  auto async_read_some(Buffers const& buffers, Handler&& handler) {
    return boost::asio::async_initiate<Handler, void(boost::beast::error_code, std::size_t)>(
        [this](auto completion, Buffers const& target) {
          boost::beast::error_code error;
          std::size_t copied = 0;
          if (closed_) {
            error = boost::asio::error::bad_descriptor;
          } else if (position_ == input_.size()) {
            error = boost::asio::error::eof;
          } else {
            copied = boost::asio::buffer_copy(
                target, boost::asio::buffer(input_.data() + position_, input_.size() - position_));
            position_ += copied;
          }
          boost::asio::post(executor_,
                            boost::beast::bind_front_handler(std::move(completion), error, copied));
        },
        handler, buffers);
  }

  template <typename Buffers, typename Handler>
  auto async_write_some(Buffers const& buffers, Handler&& handler) {
    return boost::asio::async_initiate<Handler, void(boost::beast::error_code, std::size_t)>(
        [this](auto completion, Buffers const& source) {
          boost::beast::error_code error;
          std::size_t const size = boost::asio::buffer_size(source);
          if (closed_) {
            error = boost::asio::error::bad_descriptor;
          } else {
            std::size_t const start = output_->size();
            output_->resize(start + size);
            boost::asio::buffer_copy(boost::asio::buffer(&(*output_)[start], size), source);
          }
          boost::asio::post(executor_, boost::beast::bind_front_handler(std::move(completion),
                                                                        error, closed_ ? 0 : size));
        },
        handler, buffers);
  }

  void Close() { closed_ = true; }

 private:
  executor_type executor_;
  std::string input_;
  std::size_t position_ = 0;
  std::shared_ptr<std::string> output_;
  bool closed_ = false;
};

}  // namespace Ormi::Transport::Detail
