// The server's side of one connection (see session.h for what it relies on).
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "ormi/data/error_names.h"
#include "session.h"

namespace Ormi::Transport::Detail {

template <typename Stream>
class Connection final : public SessionBase,
                         public std::enable_shared_from_this<Connection<Stream>> {
 public:
  Connection(Stream stream, std::shared_ptr<Shared> shared, std::shared_ptr<Gate> gate,
             Core::Caller caller)
      : stream_(std::move(stream)),
        timer_(stream_.get_executor()),
        shared_(std::move(shared)),
        gate_(std::move(gate)),
        caller_(std::make_shared<Core::Caller const>(std::move(caller))),
        refusal_(RefusalFor(*shared_, *caller_)) {
    shared_->Count(&Shared::connections, +1);
  }
  ~Connection() override { shared_->Count(&Shared::connections, -1); }
  Connection(Connection const&) = delete;
  Connection& operator=(Connection const&) = delete;

  void Start() {
    shared_->Add(this->shared_from_this());
    ReadRequest();
  }

  // Idle connections close at once. Once the drain is over (`force`), so do those still
  // receiving a request: their peer sees the end rather than wait for an answer that will
  // not come. Calls still open are answered unavailable.
  void RequestStop(bool force) override {
    asio::post(stream_.get_executor(), [self = this->shared_from_this(), force] {
      self->stop_requested_ = true;
      bool const receiving = self->phase_ == Phase::kHeader || self->phase_ == Phase::kBody;
      if (self->phase_ == Phase::kIdle || (force && receiving)) self->Close();
      if (self->phase_ == Phase::kCall && force && self->call_->TryAnswer()) {
        self->CancelCall();
        self->Answer(Dispatcher::ErrorResponse(Data::ErrorName::kServiceUnavailable,
                                               Message<CoreTag>(MessageId::kServerStopping)));
      }
    });
  }

 private:
  enum class Phase { kIdle, kHeader, kBody, kCall, kWrite, kClosed };

  // One call: whoever answers first (provider, deadline, peer gone, stop) wins.
  struct Call {
    explicit Call(std::shared_ptr<Core::AsyncActivation> call_activation)
        : activation(std::move(call_activation)) {}
    bool TryAnswer() { return !answered.exchange(true); }
    std::shared_ptr<Core::AsyncActivation> activation;
    std::atomic<bool> answered{false};
    // The I/O thread while it hands the call to the dispatcher: an answer given on this
    // thread then is given within StartCall, on the connection's I/O thread.
    std::atomic<std::thread::id> dispatching{};
  };

  ServerLimits const& limits() const { return shared_->options.limits; }

  void ReadRequest() {
    phase_ = Phase::kIdle;
    if (stop_requested_ || shared_->stopping) return Close();
    if (buffer_.size() != 0) return ReadHeader();
    SetDeadline(Clock::now() + limits().idle_timeout);
    stream_.async_read_some(
        buffer_.prepare(kReadChunk),
        [self = this->shared_from_this()](beast::error_code error, std::size_t size) {
          if (error) return self->Close();
          self->buffer_.commit(size);
          self->ReadHeader();
        });
  }

  void ReadHeader() {
    phase_ = Phase::kHeader;
    started_ = Clock::now();
    record_ = CallRecord{};
    record_.time = std::chrono::system_clock::now();
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(limits().max_header_bytes));
    parser_->body_limit(limits().max_body_bytes);
    SetDeadline(started_ + limits().header_timeout);
    http::async_read_header(
        stream_, buffer_, *parser_,
        [self = this->shared_from_this()](beast::error_code error, std::size_t /*size*/) {
          self->OnHeader(error);
        });
  }

  void OnHeader(beast::error_code error) {
    if (error) return Refuse(ReadFailure(error, true), true);
    if (refusal_) return Refuse(refusal_, true);
    head_ = Head{};
    auto refusal = CheckHead(*shared_, *caller_, parser_->get(), &head_);
    record_.service = head_.service;
    record_.operation = head_.operation;
    if (refusal) return Refuse(std::move(*refusal), true);
    // The body's reader has not started yet: it starts with the first byte after the header.
    PrepareForBody(parser_->content_length(), parser_->get().body(), buffer_, *shared_->bodies);
    if (beast::iequals(parser_->get()[http::field::expect], "100-continue")) {
      return SendContinue();
    }
    ReadBody();
  }

  void SendContinue() {
    auto interim = std::make_shared<http::response<http::empty_body>>(http::status::continue_,
                                                                      parser_->get().version());
    http::async_write(
        stream_, *interim,
        [self = this->shared_from_this(), interim](beast::error_code error, std::size_t /*size*/) {
          if (error) return self->Close();
          self->ReadBody();
        });
  }

  void ReadBody() {
    phase_ = Phase::kBody;
    SetDeadline(Clock::now() + limits().body_timeout);
    http::async_read(
        stream_, buffer_, *parser_,
        [self = this->shared_from_this()](beast::error_code error, std::size_t /*size*/) {
          if (error) return self->Refuse(self->ReadFailure(error, false), true);
          self->StartCall();
        });
  }

  // The answer to a failed read, or none when the peer is gone and no one would read it.
  boost::optional<DispatchResponse> ReadFailure(beast::error_code error, bool header) const {
    if (timed_out_) {
      return Dispatcher::ErrorResponse(
          Data::ErrorName::kTimedOut,
          header ? Message<CoreTag>(MessageId::kHeaderTimeout,
                                    std::to_string(limits().header_timeout.count()),
                                    SettingName("header_timeout"))
                 : Message<CoreTag>(MessageId::kBodyTimeout,
                                    std::to_string(limits().body_timeout.count()),
                                    SettingName("body_timeout")));
    }
    if (error == http::error::header_limit) {
      return Dispatcher::ErrorResponse(
          Data::ErrorName::kInvalidArgument,
          Message<CoreTag>(MessageId::kHeaderTooLarge, std::to_string(limits().max_header_bytes),
                           SettingName("max_header_bytes")));
    }
    if (error == http::error::body_limit) {
      return Dispatcher::ErrorResponse(
          Data::ErrorName::kInvalidArgument,
          Message<CoreTag>(MessageId::kBodyTooLarge, std::to_string(limits().max_body_bytes),
                           SettingName("max_body_bytes")));
    }
    if (error == http::error::end_of_stream || error == http::error::partial_message ||
        error == asio::error::eof || error == asio::error::connection_reset ||
        error == asio::error::operation_aborted || error == asio::error::bad_descriptor) {
      return boost::none;
    }
    return Dispatcher::ErrorResponse(
        Data::ErrorName::kInvalidArgument,
        Message<CoreTag>(MessageId::kRequestMalformed, error.message()));
  }

  void StartCall() {
    if (shared_->stopping || stop_requested_) {
      return Refuse(Dispatcher::ErrorResponse(Data::ErrorName::kServiceUnavailable,
                                              Message<CoreTag>(MessageId::kServerStopping)),
                    true);
    }
    if (!TakeCallSlot()) {
      return Refuse(
          Dispatcher::ErrorResponse(Data::ErrorName::kServiceUnavailable,
                                    Message<CoreTag>(MessageId::kCallsExhausted,
                                                     std::to_string(limits().max_calls_in_flight),
                                                     SettingName("max_calls_in_flight"))),
          false);
    }
    phase_ = Phase::kCall;
    call_counted_ = true;
    // Keeps the I/O loop running while the provider works on another thread.
    work_ = asio::prefer(stream_.get_executor(), asio::execution::outstanding_work_t::tracked);
    auto activation = std::make_shared<Core::AsyncActivation>();
    if (head_.token) {
      Core::Caller with_token = *caller_;
      with_token.token = true;
      activation->SetCaller(std::make_shared<Core::Caller const>(std::move(with_token)));
    } else {
      activation->SetCaller(caller_);
    }
    activation->SetDeadline(Clock::now() + head_.timeout);
    if (!head_.languages.empty()) activation->SetLocaleSpec(LocaleOf(head_.languages));
    call_ = std::make_shared<Call>(activation);
    SetDeadline(activation->deadline());
    WatchPeer();
    auto& request = parser_->get();
    DispatchRequest dispatch{head_.service,
                             head_.operation,
                             std::string(request[http::field::content_type]),
                             std::move(request.body()),
                             activation,
                             shared_->bodies};
    call_->dispatching = std::this_thread::get_id();
    shared_->dispatcher.Dispatch(std::move(dispatch), [weak = this->weak_from_this(), call = call_,
                                                       gate = gate_](DispatchResponse response) {
      if (!call->TryAnswer()) return;  // answered already: a late answer is dropped
      if (call->dispatching.load() == std::this_thread::get_id()) {
        if (auto self = weak.lock()) self->Answer(std::move(response));
        return;
      }
      gate->Run([&] {
        auto self = weak.lock();
        if (!self) return;
        asio::post(self->stream_.get_executor(), [self, response = std::move(response)]() mutable {
          self->Answer(std::move(response));
        });
      });
    });
    call_->dispatching = std::thread::id();
  }

  bool TakeCallSlot() {
    std::lock_guard<std::mutex> const lock(shared_->mutex);
    if (shared_->calls >= limits().max_calls_in_flight) return false;
    ++shared_->calls;
    return true;
  }

  // The call's deadline passed before its answer.
  void OnDeadline() {
    if (!call_->TryAnswer()) return;
    CancelCall();
    Answer(Dispatcher::ErrorResponse(
        Data::ErrorName::kTimedOut,
        Message<CoreTag>(MessageId::kDeadlinePassed, std::to_string(head_.timeout.count()))));
  }

  void WatchPeer() {
    WaitForPeerGone(stream_,
                    [self = this->shared_from_this(), call = call_](beast::error_code error) {
                      if (error || call != self->call_ || self->phase_ != Phase::kCall) return;
                      PeerState const state = StateOfPeer(self->stream_);
                      if (state == PeerState::kQuiet) return self->WatchPeer();
                      // A peer that already sends its next request is no longer watched.
                      if (state == PeerState::kSending || !call->TryAnswer()) return;
                      self->CancelCall();
                      self->Log(0);
                      self->EndCall();
                      self->Close();
                    });
  }

  // Tells the provider, on its executor, that no one waits for the answer any more.
  void CancelCall() {
    shared_->executor->Post(
        [activation = call_->activation] { activation->cancellation()->Cancel(); });
  }

  void EndCall() {
    work_.reset();
    if (call_counted_) shared_->Count(&Shared::calls, -1);
    call_counted_ = false;
  }

  void Answer(DispatchResponse response) {
    if (phase_ != Phase::kCall) return;
    EndCall();
    CancelIo(stream_);  // ends the wait for the peer
    Write(std::move(response), stop_requested_ || shared_->stopping);
  }

  // Answers a request that is not served; closes afterwards when its body was not read.
  void Refuse(boost::optional<DispatchResponse> response, bool close) {
    if (!response) return Close();
    Write(std::move(*response), close || stop_requested_);
  }

  void Write(DispatchResponse answer, bool close) {
    phase_ = Phase::kWrite;
    bool const keep_alive =
        !close && parser_ && parser_->is_header_done() && parser_->get().keep_alive();
    response_ = {};
    response_.version(parser_ && parser_->is_header_done() ? parser_->get().version() : 11);
    response_.result(answer.status);
    response_.set(http::field::content_type, answer.media_type);
    if (answer.status == 503)
      response_.set(http::field::retry_after, std::to_string(kRetryAfterSeconds));
    if (answer.status == 401) response_.set(http::field::www_authenticate, "Bearer");
    response_.keep_alive(keep_alive);
    response_.body() = std::move(answer.body);
    response_.prepare_payload();
    Log(answer.status);
    SetDeadline(Clock::now() + limits().body_timeout);
    http::async_write(stream_, response_,
                      [self = this->shared_from_this(), keep_alive](beast::error_code error,
                                                                    std::size_t /*size*/) {
                        self->shared_->bodies->Give(std::move(self->response_.body()));
                        if (error || !keep_alive) return self->Close();
                        self->ReadRequest();
                      });
  }

  void Log(unsigned status) {
    if (!shared_->options.call_log) return;
    record_.peer = PeerText(*caller_);
    record_.status = status;
    record_.duration = std::chrono::duration_cast<Milliseconds>(Clock::now() - started_);
    shared_->options.call_log(record_);
  }

  // Sets when the current phase (a read, the call, a write) ends. One timer serves all
  // phases: it is moved only when the new end is earlier than the time it is set for, and
  // when it fires before the current phase's end it waits again, so that most requests
  // leave it alone (each move is a system call).
  void SetDeadline(Clock::time_point deadline) {
    timed_out_ = false;
    deadline_ = deadline;
    if (!timer_waiting_ || deadline < timer_.expiry()) WaitUntil(deadline);
  }

  void WaitUntil(Clock::time_point when) {
    timer_.expires_at(when);  // a wait set for later ends with operation_aborted
    timer_waiting_ = true;
    timer_.async_wait([self = this->shared_from_this()](beast::error_code error) {
      if (error) return;
      self->timer_waiting_ = false;
      self->OnTimer();
    });
  }

  // A phase that ran out of time: the call is answered "timed out"; a pending read or write
  // is cut off, and its handler finds `timed_out_` set.
  void OnTimer() {
    if (phase_ == Phase::kClosed) return;
    if (Clock::now() < deadline_) return WaitUntil(deadline_);
    deadline_ = Clock::time_point::max();
    if (phase_ == Phase::kCall) return OnDeadline();
    timed_out_ = true;
    CancelIo(stream_);
  }

  void Close() {
    if (phase_ == Phase::kCall && call_->TryAnswer()) CancelCall();
    EndCall();
    phase_ = Phase::kClosed;
    timer_.cancel();
    CloseStream(stream_);
  }

  static constexpr std::size_t kReadChunk = 4096;

  Stream stream_;
  beast::flat_buffer buffer_;
  boost::optional<http::request_parser<http::string_body>> parser_;
  http::response<http::string_body> response_;
  asio::steady_timer timer_;
  Clock::time_point deadline_ = Clock::time_point::max();  // of the current phase
  bool timer_waiting_ = false;
  bool timed_out_ = false;
  bool stop_requested_ = false;
  bool call_counted_ = false;
  Phase phase_ = Phase::kIdle;
  std::shared_ptr<Shared> shared_;
  std::shared_ptr<Gate> gate_;
  std::shared_ptr<Core::Caller const> caller_;
  boost::optional<DispatchResponse> refusal_;
  Head head_;
  std::shared_ptr<Call> call_;
  boost::optional<asio::any_io_executor> work_;
  Clock::time_point started_;
  CallRecord record_;
};

}  // namespace Ormi::Transport::Detail
