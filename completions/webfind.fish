# fish completion for webfind: options, their values, interface names.
# Patterns are device names, never files.
complete -c webfind -f

# The interfaces -i takes: those that are up with an IPv4 address, loopback
# (its addresses have host scope) left out.
function __webfind_interfaces
    ip -o -4 addr show up 2>/dev/null | awk '!/ scope host / { print $2 }' | sort -u
end

complete -c webfind -s n -l no-open -d 'List the devices, open nothing'
complete -c webfind -l json -d 'Print the devices as JSON (JSON Lines with --watch)'
complete -c webfind -l page -d 'Open one page that lists and links every device (kept current with --watch)'
complete -c webfind -s l -l long -d "Show each device's address, MAC address and vendor"
complete -c webfind -l check -d "Fetch each device's page and say its status, title and certificate"
complete -c webfind -s i -l interface -x -a '(__webfind_interfaces)' -d 'Send the probes out of this interface'
complete -c webfind -s a -l all-interfaces -d 'Send the probes out of every interface'
complete -c webfind -s t -l target -x -a '(__fish_print_hostnames)' -d 'Also probe this address, range (up to /16) or host by unicast'
complete -c webfind -l rate -x -d 'At most this many unicast probes a second (1-100000)'
complete -c webfind -s w -l wait -x -d 'Quiet time that ends collecting (ms, 1-5000)'
complete -c webfind -s p -l port -x -d 'Local UDP port for probes and answers (1-65535)'
complete -c webfind -l first -d 'End at the first matching answer'
complete -c webfind -l watch -d 'Probe rounds and report devices coming and going (=SECONDS, 1-3600)'
complete -c webfind -l duration -x -d 'End the watch after this many seconds'
complete -c webfind -l metrics -r -F -d 'With --watch, write Prometheus metrics to this file each round'
complete -c webfind -s v -l verbose -d 'Say why datagrams were kept or not, and why nothing was found'
complete -c webfind -s h -l help -d 'Show the help'
complete -c webfind -s V -l version -d 'Show the version'
