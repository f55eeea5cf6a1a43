# fish completion for webfind-announce: options, their values, interface names.
complete -c webfind-announce -f

function __webfind_announce_interfaces
    ip -o -4 addr show up 2>/dev/null | awk '{ print $2 }' | sort -u
end

complete -c webfind-announce -l name -x -d 'The name to announce'
complete -c webfind-announce -l url -x -d 'The URL to announce ({addr}, {host})'
complete -c webfind-announce -s i -l interface -x -a '(__webfind_announce_interfaces)' -d 'Answer on this interface'
complete -c webfind-announce -l per-source -x -d 'Answers a second to one address (1-1000)'
complete -c webfind-announce -l shared -x -d 'Answers a second to all sources (1-100000)'
complete -c webfind-announce -l shared-bytes -x -d 'Bytes of answers a second to all sources (1500-100000000)'
complete -c webfind-announce -l unicast-from -x -d 'Also answer unicast probes from this range (10.1.0.0/24)'
complete -c webfind-announce -l service -d '(Windows) Run under the Service Control Manager'
complete -c webfind-announce -s v -l verbose -d 'Say each datagram answered or refused, and why'
complete -c webfind-announce -s h -l help -d 'Show the help'
complete -c webfind-announce -s V -l version -d 'Show the version'
