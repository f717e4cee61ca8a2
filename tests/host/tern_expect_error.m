function tern_expect_error(call, identifier, message)
% tern_expect_error(call, identifier, message) runs call() and checks that it
% fails with exactly this identifier ('' for none) and message. A message
% given as a cell array lists pieces that must all occur in the message.
  try
    call();
  catch err
    assert(strcmp(err.identifier, identifier), ...
           'expected identifier [%s], got [%s] with message [%s]', identifier, err.identifier, err.message);
    if iscell(message)
      for k = 1:numel(message)
        assert(~isempty(strfind(err.message, message{k})), 'message [%s] lacks [%s]', err.message, message{k});
      end
    else
      assert(strcmp(err.message, message), 'expected message [%s], got [%s]', message, err.message);
    end
    return;
  end
  if iscell(message), message = strjoin(message, ' ... '); end
  error('tern:test:noFailure', 'expected a failure [%s] %s', identifier, message);
end
