function [R, milstd, varShapping, varmilstd] = tern_reference()
% tern_reference() loads the host-free cores' results for fixed inputs
% (written by tern_host_reference) and rebuilds the records from them.
  persistent cache;
  if isempty(cache)
    file = getenv('TERN_REFERENCE');
    assert(~isempty(file), 'TERN_REFERENCE is not set');
    cache = load(file);
  end
  R = cache;
  milstd = with_prefix(R, 'setup_');
  varShapping = with_prefix(R, 'varShapping_');
  varmilstd = with_prefix(R, 'varmilstd_');
end

function s = with_prefix(R, prefix)
  s = struct();
  names = fieldnames(R);
  for k = 1:numel(names)
    if strncmp(names{k}, prefix, numel(prefix))
      s.(names{k}(numel(prefix) + 1:end)) = R.(names{k});
    end
  end
end
